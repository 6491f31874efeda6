#include "system/huge_pages.h"

#include <sys/mman.h>

void
AdviseHugePages(void *start, size_t length)
{
	madvise(start, length, MADV_HUGEPAGE);
}
