#include "failing_malloc.h"

#include <cstddef>

extern "C" void *__real_malloc(size_t size);

static int g_successesLeft = -1; /* -1: never fail */

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
}
