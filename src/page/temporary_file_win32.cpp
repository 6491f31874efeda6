/* Temporary files on Windows. */
#include "page/temporary_file_win32.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <mutex>

#include "system/text_win32.h"

/* A console's stop handler runs on a thread of its own: it waits while a
 * new file's name is made and published, and takes the name under the
 * same lock. */
static std::mutex g_naming;

HANDLE
CreateUniqueFile(char *pattern, DWORD access, DWORD attributes, std::atomic<const char *> *published)
{
	const size_t length = std::strlen(pattern);
	if (length < 6 || std::strcmp(pattern + length - 6, "XXXXXX") != 0)
		return INVALID_HANDLE_VALUE;
	std::lock_guard<std::mutex> hold(g_naming);
	for (int attempt = 0; attempt < 100; attempt++) {
		PickTemporaryName(pattern);
		const HANDLE file = CreateFileW(WidePath(pattern).text, access,
		                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
		                                CREATE_NEW, attributes, nullptr);
		if (file != INVALID_HANDLE_VALUE) {
			*published = pattern;
			return file;
		}
		if (GetLastError() != ERROR_FILE_EXISTS)
			break;
		std::memcpy(pattern + length - 6, "XXXXXX", 6);
	}
	return INVALID_HANDLE_VALUE;
}

int
MakeTemporaryFile(char *pattern, std::atomic<const char *> *published)
{
	const HANDLE file = CreateUniqueFile(pattern, GENERIC_READ | GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, published);
	if (file == INVALID_HANDLE_VALUE)
		return -1;
	const int fd = _open_osfhandle(intptr_t(file), _O_BINARY | _O_RDWR);
	if (fd < 0) {
		CloseHandle(file);
		RemovePublishedFile(published);
	}
	return fd;
}

int
MakeVanishingFile(char *pattern, size_t)
{
	std::atomic<const char *> named{nullptr};
	const HANDLE file = CreateUniqueFile(pattern, GENERIC_READ | GENERIC_WRITE | DELETE,
	                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, &named);
	if (file == INVALID_HANDLE_VALUE)
		return -1;
	const int fd = _open_osfhandle(intptr_t(file), _O_BINARY | _O_RDWR);
	if (fd < 0)
		CloseHandle(file);
	return fd;
}

void
RemovePublishedFile(std::atomic<const char *> *published)
{
	std::lock_guard<std::mutex> hold(g_naming);
	if (const char *name = published->exchange(nullptr))
		DeleteFileW(WidePath(name).text);
}
