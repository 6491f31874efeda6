#include "system/path.h"

#include <cstdio>
#include <cstring>

size_t
FolderLength(const char *path)
{
	const char *slash = std::strrchr(path, '/');
	return slash ? size_t(slash - path) + 1 : 0;
}

void
UnquotePath(char *)
{
}

void
ReportedPath(const char *path, char *reported, size_t room)
{
	std::snprintf(reported, room, "%s", path);
}
