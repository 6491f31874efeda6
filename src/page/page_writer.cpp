#include "page/page_writer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "system/huge_pages.h"

/* Four buffers in turn let the writer fall behind for a moment without
 * holding up the scan: dithered 1000x1000 took 14.7 ms against 16.6 with
 * two. They make whole huge pages, found inside this space wherever it
 * lies: in 4 KiB pages, first touching them made a conversion of 1000x1000
 * noise a fifth slower (48 ms against 40, a process each). */
enum : size_t { PAGE_BUFFERS = 4 };
static_assert(PAGE_BUFFERS * PAGE_BUFFER_SIZE % HUGE_PAGE_SIZE == 0, "the buffers make whole huge pages");
static char g_space[PAGE_BUFFERS * PAGE_BUFFER_SIZE + HUGE_PAGE_SIZE];

static char *
Buffer(size_t index)
{
	char *const first = g_space + (HUGE_PAGE_SIZE - uintptr_t(g_space) % HUGE_PAGE_SIZE) % HUGE_PAGE_SIZE;
	return first + index * PAGE_BUFFER_SIZE;
}

static PageFile *g_page;
static std::atomic<bool> g_failed; /* a write failed; the scan may stop */
static size_t g_filling; /* the buffer being filled */

static std::thread g_writer; /* none when no thread could be had */
static std::mutex g_lock;
static std::condition_variable g_changed;
static size_t g_handed; /* buffers handed over, not yet written */
static size_t g_lengths[PAGE_BUFFERS];
static bool g_finished;

static size_t g_written; /* by whichever thread writes */

static void
Write(const char *bytes, size_t length)
{
	if (!g_failed && WritePageFile(g_page, bytes, length) != 0)
		g_failed = true;
	g_written += length;
}

static void
WriteBehind(void)
{
	size_t next = 0;
	std::unique_lock<std::mutex> hold(g_lock);
	for (;;) {
		g_changed.wait(hold, [] { return g_handed || g_finished; });
		if (!g_handed)
			return;
		const size_t length = g_lengths[next];
		hold.unlock();
		Write(Buffer(next), length);
		next = (next + 1) % PAGE_BUFFERS;
		hold.lock();
		g_handed--;
		g_changed.notify_all();
	}
}

void
StartPageWriter(PageFile *page, PageBuffer *buffer)
{
	g_page = page;
	g_failed = false;
	g_written = 0;
	g_filling = 0;
	g_handed = 0;
	g_finished = false;
	AdviseHugePages(Buffer(0), PAGE_BUFFERS * PAGE_BUFFER_SIZE);
	*buffer = PageBuffer{Buffer(0), 0};
	try {
		g_writer = std::thread(WriteBehind);
	} catch (const std::exception &) {
		/* no thread: slower, nothing else */
	}
}

void
HandOverPageBuffer(PageBuffer *buffer)
{
	if (!buffer->used)
		return;
	if (!g_writer.joinable()) {
		Write(buffer->bytes, buffer->used);
	} else {
		std::unique_lock<std::mutex> hold(g_lock);
		g_changed.wait(hold, [] { return g_handed < PAGE_BUFFERS - 1; });
		g_lengths[g_filling] = buffer->used;
		g_handed++;
		g_changed.notify_all();
		g_filling = (g_filling + 1) % PAGE_BUFFERS;
	}
	*buffer = PageBuffer{Buffer(g_filling), 0};
}

void
AppendToPage(PageBuffer *buffer, const char *bytes, size_t length)
{
	if (buffer->used + length > PAGE_BUFFER_SIZE)
		HandOverPageBuffer(buffer);
	std::memcpy(buffer->bytes + buffer->used, bytes, length);
	buffer->used += length;
}

size_t
PageBytesWritten(void)
{
	return g_written;
}

bool
PageWriteFailed(void)
{
	return g_failed;
}

bool
FinishPageWriter(PageBuffer *buffer)
{
	HandOverPageBuffer(buffer);
	if (g_writer.joinable()) {
		{
			std::lock_guard<std::mutex> hold(g_lock);
			g_finished = true;
			g_changed.notify_all();
		}
		g_writer.join();
	}
	return !g_failed;
}
