#ifndef TILERY_PAGE_PAGE_WRITER_H
#define TILERY_PAGE_PAGE_WRITER_H

#include <cstddef>

#include "page/page_file.h"

/* The page on its way into its file: the conversion fills one buffer while
 * a second thread writes those filled before, since putting the page into
 * the file costs nearly as much as making it. One page at a time. */

enum : size_t { PAGE_BUFFER_SIZE = 1 << 20 };

/* The buffer being filled: PAGE_BUFFER_SIZE bytes, `used` of them taken. */
struct PageBuffer {
	char *bytes;
	size_t used;
};

/* Starts writing into the open page and gives the first buffer. Without a
 * thread to be had, each buffer is written as it is handed over. */
void StartPageWriter(PageFile *page, PageBuffer *buffer);

/* Hands the buffer over for writing and gives an empty one. */
void HandOverPageBuffer(PageBuffer *buffer);

/* Appends a few bytes, handing the buffer over first if they do not fit. */
void AppendToPage(PageBuffer *buffer, const char *bytes, size_t length);

/* Whether a write has failed already, so that the conversion may stop. */
bool PageWriteFailed(void);

/* Hands over what is left and waits for every write; false when one failed. */
bool FinishPageWriter(PageBuffer *buffer);

/* How many bytes went to the page, once FinishPageWriter has returned. */
size_t PageBytesWritten(void);

#endif
