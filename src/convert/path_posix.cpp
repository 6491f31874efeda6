#include "convert/path.h"

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
