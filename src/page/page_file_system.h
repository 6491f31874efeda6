#ifndef TILERY_PAGE_PAGE_FILE_SYSTEM_H
#define TILERY_PAGE_PAGE_FILE_SYSTEM_H

#include <atomic>

#include "page/page_file.h"

/* Between the page file's part every system shares (page_file.cpp) and
 * each system's own (page_file_posix.cpp, page_file_win32.cpp). */

/* The new file's name while it has one, for RemoveUnfinishedPage. */
extern std::atomic<const char *> g_unfinishedPage;

/* Begins OpenPageFile: nothing open yet, the target set to path; false
 * when the path does not fit. */
bool StartPageFile(const char *path, PageFile *page);

/* Copies a path into a buffer of PAGE_PATH_SIZE; false when it does not fit. */
bool CopyPagePath(char *to, const char *from);

/* Puts ".tilery-XXXXXX" in target's folder into name: as short as the
 * folder allows, whatever the page's own name. False when it does not fit. */
bool NewPageName(const char *target, char *name);

/* For each system: makes the new file, still open, one that outlives the
 * program, named page->temporary and published for RemoveUnfinishedPage,
 * with what the old page keeps; false when it cannot. */
bool KeepNewPage(PageFile *page);

/* For each system: puts the new file, closed, in the page's place, whole;
 * false when it could not. */
bool MovePageIntoPlace(const char *temporary, const char *target);

#endif
