#ifndef TILERY_PAGE_PAGE_FILE_H
#define TILERY_PAGE_PAGE_FILE_H

#include <cstdio>

/* The page being written, in the system's own way. A regular file (or a
 * name not yet taken) is written into a new file in the same folder, which
 * replaces the page only when it is whole and has no name until then,
 * wherever the file system allows it; an existing page must be one the
 * user may write, and a link is written through to its target. Anything
 * else (a pipe, a device, a page in a folder where no new file can be
 * made) is written directly.
 *
 * On POSIX systems, a page keeps its permission bits and group, and one
 * that belongs to someone else, or whose group a new file cannot take, is
 * written directly, as are names under /dev and /proc. On Windows, a page
 * keeps its attributes and access list. */
enum { PAGE_PATH_SIZE = 4096 };

/* The name that stands for the standard output the process was given. */
extern const char STANDARD_OUTPUT_PAGE[];

struct PageFile {
	FILE *file;
	bool replacing;                 /* a new file that takes the page's place */
	char target[PAGE_PATH_SIZE];    /* the file the page ends up in */
	char temporary[PAGE_PATH_SIZE]; /* the new file's name while it has one, or "" */
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

/* Deletes a new file still being written, where it has a name; safe where
 * the program is stopped (a signal handler, a console's stop handler). */
void RemoveUnfinishedPage(void);

#endif
