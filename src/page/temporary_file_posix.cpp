/* Temporary files on POSIX systems. */
#include "page/temporary_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "system/path.h"
#include "system/stop.h"

enum { FOLDER_SIZE = 4096 };

int
MakeTemporaryFile(char *pattern, std::atomic<const char *> *published)
{
	HoldStops(true);
	const int fd = mkostemp(pattern, O_CLOEXEC);
	if (fd >= 0)
		*published = pattern;
	HoldStops(false);
	return fd;
}

void
RemovePublishedFile(std::atomic<const char *> *published)
{
	if (const char *name = published->exchange(nullptr))
		unlink(name);
}

/* A file with no name in the pattern's folder, named through /proc
 * meanwhile (where there is no /proc, or the file system cannot, none). */
int
MakeVanishingFile(char *pattern, size_t room)
{
	if (access("/proc/self/fd", X_OK) != 0)
		return -1;
	char folder[FOLDER_SIZE] = ".";
	if (const size_t length = FolderLength(pattern)) {
		if (length >= FOLDER_SIZE)
			return -1;
		std::memcpy(folder, pattern, length);
		folder[length] = '\0';
	}
	const int fd = open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
	if (fd >= 0 && size_t(std::snprintf(pattern, room, "/proc/self/fd/%d", fd)) >= room) {
		close(fd);
		return -1;
	}
	return fd;
}
