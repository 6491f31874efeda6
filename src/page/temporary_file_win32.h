#ifndef TILERY_PAGE_TEMPORARY_FILE_WIN32_H
#define TILERY_PAGE_TEMPORARY_FILE_WIN32_H

#include <windows.h>

#include "page/temporary_file.h"

/* Makes a new file from pattern, whose last six characters are XXXXXX,
 * with the access and attributes given, shared for deleting, so that a
 * stop handler can take it away while it is still open; publishes its
 * name once final. INVALID_HANDLE_VALUE when it cannot. */
HANDLE CreateUniqueFile(char *pattern, DWORD access, DWORD attributes, std::atomic<const char *> *published);

#endif
