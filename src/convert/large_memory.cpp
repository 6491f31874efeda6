#include "convert/large_memory.h"

#include <sys/mman.h>

void
AdviseHugePages(void *start, size_t length)
{
#ifdef MADV_HUGEPAGE
	madvise(start, length, MADV_HUGEPAGE);
#else
	(void)start, (void)length;
#endif
}

static size_t
InHugePages(size_t size)
{
	return (size + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
}

void *
AllocateLarge(size_t size)
{
	if (size < HUGE_PAGE)
		return ::operator new(size, std::nothrow);
	if (size > SIZE_MAX - 2 * HUGE_PAGE)
		return nullptr;
	/* One huge page more than asked for, to cut an aligned block out of. */
	const size_t length = InHugePages(size);
	void *mapped = mmap(nullptr, length + HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	if (mapped == MAP_FAILED)
		return nullptr;
	char *const first = static_cast<char *>(mapped);
	const size_t before = (HUGE_PAGE - uintptr_t(first) % HUGE_PAGE) % HUGE_PAGE;
	char *const block = first + before;
	if (before)
		munmap(first, before);
	munmap(block + length, HUGE_PAGE - before);
	AdviseHugePages(block, length);
	return block;
}

void
FreeLarge(void *block, size_t size)
{
	if (size < HUGE_PAGE)
		::operator delete(block);
	else
		munmap(block, InHugePages(size));
}
