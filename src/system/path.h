#ifndef TILERY_SYSTEM_PATH_H
#define TILERY_SYSTEM_PATH_H

#include <cstddef>

/* File names by the system's own rules. */

/* How many of path's first bytes name its folder, the last separator
 * included: 0 for a name alone in the working folder. */
size_t FolderLength(const char *path);

/* A path wrapped in one pair of double quotes, as Windows's Explorer
 * copies one, means the path inside where no name can hold a quote
 * (Windows): the quotes are taken off in place. Elsewhere they are part of
 * the name and stay. */
void UnquotePath(char *path);

/* The name a written page is reported by, into a buffer of `room` bytes:
 * on Windows its full path (D:page.html, a page in drive D's working
 * folder, is reported as D:\work\page.html), elsewhere the path as
 * given, as it is where the full path does not fit. */
void ReportedPath(const char *path, char *reported, size_t room);

#endif
