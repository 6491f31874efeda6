#include "failing_malloc.h"

#include <cstddef>
#include <cstdlib>

extern "C" void *__real_malloc(size_t size);

static int g_successesLeft = -1; /* -1: never fail */
static int g_newSuccessesLeft = -1;

extern "C" void *
__wrap_malloc(size_t size)
{
	if (g_successesLeft == 0)
		return nullptr;
	if (g_successesLeft > 0)
		g_successesLeft--;
	return __real_malloc(size);
}

void
FailMallocAfter(int successes)
{
	g_successesLeft = successes;
}

void
StopFailingMalloc()
{
	g_successesLeft = -1;
	g_newSuccessesLeft = -1;
}

/* operator new, which the standard containers use, can be made to fail too. */
#include <new>

void *
operator new(size_t size)
{
	if (g_newSuccessesLeft == 0) {
		g_newSuccessesLeft = -1; /* one failure, then as usual */
		throw std::bad_alloc();
	}
	if (g_newSuccessesLeft > 0)
		g_newSuccessesLeft--;
	if (void *p = __real_malloc(size ? size : 1))
		return p;
	throw std::bad_alloc();
}

void
operator delete(void *p) noexcept
{
	free(p);
}

void
operator delete(void *p, size_t) noexcept
{
	free(p);
}

void
FailNewAfter(int successes)
{
	g_newSuccessesLeft = successes;
}
