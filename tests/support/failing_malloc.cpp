#include "failing_malloc.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <thread>

extern "C" void *__real_malloc(size_t size);

static std::atomic<int> g_successesLeft{-1}; /* -1: never fail */
static std::thread::id g_counted;            /* the thread whose calls count */
static int g_newSuccessesLeft = -1;

/* Only the calls of the thread that asked count, so that another thread
 * (the page writer's, starting up) cannot take a success meant for it. */
extern "C" void *
__wrap_malloc(size_t size)
{
	if (g_successesLeft >= 0 && std::this_thread::get_id() == g_counted) {
		if (g_successesLeft == 0)
			return nullptr;
		g_successesLeft--;
	}
	return __real_malloc(size);
}

void
FailMallocAfter(int successes)
{
	g_counted = std::this_thread::get_id();
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

/* Every other form goes the same way, so that each allocation is freed as
 * it was made. */
void *operator new[](size_t size) { return operator new(size); }

void *
operator new(size_t size, const std::nothrow_t &) noexcept
{
	try {
		return operator new(size);
	} catch (const std::bad_alloc &) {
		return nullptr;
	}
}

void *operator new[](size_t size, const std::nothrow_t &tag) noexcept { return operator new(size, tag); }
void operator delete(void *p) noexcept { free(p); }
void operator delete[](void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { free(p); }

void
FailNewAfter(int successes)
{
	g_newSuccessesLeft = successes;
}

bool
NewFailurePending()
{
	return g_newSuccessesLeft >= 0;
}
