#ifndef TILERY_CONVERT_LARGE_MEMORY_H
#define TILERY_CONVERT_LARGE_MEMORY_H

#include <cstddef>
#include <cstdint>
#include <new>

/* The conversion's large buffers (the decoded picture, the page's output)
 * are asked for huge pages where the system has them: first touching a
 * fresh 4 MiB in 4 KiB pages costs about 2 ms of page faults, in 2 MiB
 * pages a tenth of that. */
constexpr size_t HUGE_PAGE = size_t(2) << 20;

/* start and length in whole huge pages; a hint, nothing fails. */
void AdviseHugePages(void *start, size_t length);

/* Blocks below a huge page come from operator new, larger ones straight
 * from the system in whole huge pages. Null when there is no memory. */
void *AllocateLarge(size_t size);
void FreeLarge(void *block, size_t size);

template <class T>
struct LargeAllocator {
	using value_type = T;
	LargeAllocator() = default;
	template <class U>
	LargeAllocator(const LargeAllocator<U> &)
	{
	}
	T *allocate(size_t n)
	{
		void *block = n <= SIZE_MAX / sizeof(T) ? AllocateLarge(n * sizeof(T)) : nullptr;
		if (!block)
			throw std::bad_alloc();
		return static_cast<T *>(block);
	}
	void deallocate(T *block, size_t n) { FreeLarge(block, n * sizeof(T)); }
	template <class U>
	bool operator==(const LargeAllocator<U> &) const
	{
		return true;
	}
	template <class U>
	bool operator!=(const LargeAllocator<U> &) const
	{
		return false;
	}
};

#endif
