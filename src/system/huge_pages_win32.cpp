#include "system/huge_pages.h"

/* Huge pages need a privilege that programs are not given. */
void
AdviseHugePages(void *, size_t)
{
}
