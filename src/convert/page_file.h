#ifndef TILERY_CONVERT_PAGE_FILE_H
#define TILERY_CONVERT_PAGE_FILE_H

#include <atomic>
#include <cstdio>

/* The page being written, in the system's own way. A regular file (or a
 * name not yet taken) is written into a new file in the same folder, which
 * replaces the page only when it is whole; an existing page must be one
 * the user may write, and a link is written through to its target.
 * Anything else (a pipe, a device, a page in a folder where no new file
 * can be made) is written directly.
 *
 * On POSIX systems, a page keeps its permission bits and group, and one
 * that belongs to someone else, or whose group a new file cannot take, is
 * written directly, as are names under /dev and /proc. */
enum { PAGE_PATH_SIZE = 4096 };

/* The name that stands for the standard output the process was given. */
extern const char STANDARD_OUTPUT_PAGE[];

struct PageFile {
	FILE *file;
	char target[PAGE_PATH_SIZE];    /* the file the page ends up in */
	char temporary[PAGE_PATH_SIZE]; /* "" when written directly */
};

/* Whether the two paths name the same file: the same path, a symbolic
 * link or a hard link. */
bool IsSameFile(const char *a, const char *b);

/* 0 when the page is open for writing; -1 when it cannot be (a FIFO with
 * no reader counts as such: nothing waits for one). */
int OpenPageFile(const char *path, PageFile *page);

/* 0 when all of bytes went to the page, -1 when not. */
int WritePageFile(PageFile *page, const char *bytes, size_t length);

/* Closes the page and puts it in place; -1 when it could not be written
 * whole (the old page is then kept wherever a new file was written). */
int CommitPageFile(PageFile *page);

/* Closes the page and throws the new file away, keeping the old page. */
void AbandonPageFile(PageFile *page);

/* Asks for huge pages behind the memory given, where the system has them;
 * a hint, nothing fails. Only whole huge pages, aligned to their size,
 * can back memory. */
constexpr size_t HUGE_PAGE_SIZE = size_t(2) << 20;
void AdviseHugePages(void *start, size_t length);

/* Deletes a new file still being written; safe where the program is
 * stopped (a signal handler, a console's stop handler). */
void RemoveUnfinishedPage(void);

/* Makes a new file from pattern, whose last six characters are XXXXXX,
 * and returns its descriptor, or -1. *published is set to pattern once
 * the name is final, and no stop is handled in between, so that a stop
 * handler never sees a name that is not the file's. */
static_assert(std::atomic<const char *>::is_always_lock_free, "read in stop handlers");
int MakeTemporaryFile(char *pattern, std::atomic<const char *> *published);

/* Deletes a file made so; safe where the program is stopped. */
void RemoveTemporaryFile(const char *name);

/* For each system's own page file: */
/* Makes the new file ".NAME.tilery-XXXXXX" beside target, whose folder is
 * its first folder bytes, into temporary; its descriptor, or -1. Until it
 * is dropped or the page is committed, RemoveUnfinishedPage deletes it. */
int MakeUnfinishedPage(const char *target, size_t folder, char *temporary);
void DropUnfinishedPage(const char *temporary);
/* Puts the new file in the page's place, whole; false when it could not. */
bool MovePageIntoPlace(const char *temporary, const char *target);
/* Copies a path into a buffer of PAGE_PATH_SIZE; false when it does not fit. */
bool CopyPagePath(char *to, const char *from);
/* Begins OpenPageFile: nothing open yet, the target set to path; false
 * when the path does not fit. */
bool StartPageFile(const char *path, PageFile *page);

#endif
