#include "picture/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int
OpenPictureFile(const char *path, uint64_t *size)
{
	const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0)
		return -1;
	struct stat st;
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
		close(fd);
		return -1;
	}
	*size = uint64_t(st.st_size);
	return fd;
}

bool
ReadPictureFile(int file, uint64_t offset, size_t length, unsigned char *to)
{
	while (length) {
		const ssize_t n = pread(file, to, length, off_t(offset));
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		to += n, offset += uint64_t(n), length -= size_t(n);
	}
	return true;
}

void
ClosePictureFile(int file)
{
	close(file);
}
