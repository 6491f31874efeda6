#ifndef TILERY_PAGE_TEMPORARY_FILE_H
#define TILERY_PAGE_TEMPORARY_FILE_H

#include <atomic>
#include <cstddef>

/* Files that an interrupted program must not leave behind. Each one's name
 * is published, once final, where a stop handler finds it. */
static_assert(std::atomic<const char *>::is_always_lock_free, "read in stop handlers");

/* Makes a new file from pattern, whose last six characters are XXXXXX,
 * and returns its descriptor, or -1. *published is set to pattern once
 * the name is final, and no stop is handled in between, so that a stop
 * handler never sees a name that is not the file's. */
int MakeTemporaryFile(char *pattern, std::atomic<const char *> *published);

/* Makes a new file from pattern (a path ending in XXXXXX, in a buffer of
 * `room` bytes) that the system takes away when the program ends, however
 * it ends (killed, crashed), and returns its descriptor, open for reading
 * and writing; pattern becomes a name the program can open it by
 * meanwhile. -1 where the system cannot make one. */
int MakeVanishingFile(char *pattern, size_t room);

/* Deletes the file published there, if any, and withdraws its name; safe
 * where the program is stopped. */
void RemovePublishedFile(std::atomic<const char *> *published);

/* Puts six random letters and digits in place of pattern's XXXXXX. */
void PickTemporaryName(char *pattern);

#endif
