#include "system/path.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "system/text_win32.h"

/* "D:page.html" lies in drive D's working folder: the folder is "D:". */
size_t
FolderLength(const char *path)
{
	size_t folder = 0;
	if (((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':')
		folder = 2;
	for (size_t i = folder; path[i]; i++)
		if (path[i] == '\\' || path[i] == '/')
			folder = i + 1;
	return folder;
}

void
UnquotePath(char *path)
{
	const size_t length = std::strlen(path);
	if (length < 2 || path[0] != '"' || path[length - 1] != '"' || std::memchr(path + 1, '"', length - 2))
		return;
	std::memmove(path, path + 1, length - 2);
	path[length - 2] = '\0';
}

void
ReportedPath(const char *path, char *reported, size_t room)
{
	wchar_t full[4096];
	const DWORD length = GetFullPathNameW(WidePath(path).text, 4096, full, nullptr);
	if (length == 0 || length >= 4096 || room > INT_MAX || !NarrowInto(full, reported, int(room)))
		std::snprintf(reported, room, "%s", path);
}
