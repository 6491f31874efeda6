#include "picture/picture_file.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>

#include <windows.h>

#include "system/text_win32.h"

int
OpenPictureFile(const char *path, uint64_t *size)
{
	/* Shared for deleting, so that the stop handler can take away the
	 * tool's copy of standard input while it is read. */
	const HANDLE file = CreateFileW(WidePath(path).text, GENERIC_READ,
	                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
	                                FILE_ATTRIBUTE_NORMAL, nullptr);
	if (file == INVALID_HANDLE_VALUE)
		return -1;
	LARGE_INTEGER length;
	const int fd = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &length)
	                       ? _open_osfhandle(intptr_t(file), _O_BINARY | _O_RDONLY)
	                       : -1;
	if (fd < 0) {
		CloseHandle(file);
		return -1;
	}
	*size = uint64_t(length.QuadPart);
	return fd;
}

bool
ReadPictureFile(int file, uint64_t offset, size_t length, unsigned char *to)
{
	const HANDLE handle = HANDLE(_get_osfhandle(file));
	while (length) {
		OVERLAPPED at = {};
		at.Offset = DWORD(offset);
		at.OffsetHigh = DWORD(offset >> 32);
		DWORD read;
		if (!ReadFile(handle, to, DWORD(std::min<size_t>(length, 1 << 30)), &read, &at) || read == 0)
			return false;
		to += read, offset += read, length -= read;
	}
	return true;
}

void
ClosePictureFile(int file)
{
	_close(file);
}
