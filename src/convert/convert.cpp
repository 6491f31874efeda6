#include "convert/convert.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "convert/cell_rect.h"
#include "convert/page_file.h"
#include "convert/pixel_source.h"
#include "shell/notice.h"

/* The title is Shift_JIS, as the page has always carried it; everything
 * else in the document is ASCII. Lines end in CR LF on every platform.
 *
 * The style makes every engine draw each pixel as a cellSize square: a
 * fixed layout takes the column widths from the first row (a spanning
 * cell's width shared equally), every row is one cell high, and the
 * cells' own height attributes, which some engines give wholly to a
 * span's first row, are set aside. */
static const char DOCUMENT_HEAD[] =
	"<HTML>\r\n"
	"<HEAD><TITLE>"
	"\x82\xC8\x82\xBA\x90\x65\x95\x83\x8F\x4C\x82\xAA\x82\xB7\x82\xE9\x82\xCC\x82\xBE"
	"</TITLE><STYLE>TABLE{table-layout:fixed;width:%lldpx}TR{height:%dpx}TD{height:auto}</STYLE></HEAD>\r\n"
	"<BODY>\r\n"
	"<TABLE border=0 cellspacing=0 cellpadding=0>\r\n";
static const char DOCUMENT_TAIL[] = "</TABLE>\r\n</BODY>\r\n</HTML>\r\n";

/* HTML parsers clamp spans to these; a longer run is cut into cells. */
enum : int32_t { MAX_COLSPAN = 1000, MAX_ROWSPAN = 65534 };

static ConversionProgress g_progress;

ConversionProgress
SetConversionProgress(ConversionProgress hook)
{
	ConversionProgress previous = g_progress;
	g_progress = hook;
	return previous;
}

enum : size_t { OUTPUT_BUFFER = 1 << 20, OUTPUT_BUFFERS = 4 };

/* The scan's buffers make whole huge pages inside this space wherever it
 * lies, asked for as such: first touching 4 MiB in 4 KiB pages costs about
 * 2 ms of page faults. The conversion, like the covered-cell list, is one
 * at a time. */
constexpr size_t HUGE_PAGE = size_t(2) << 20;
static_assert(OUTPUT_BUFFERS * OUTPUT_BUFFER % HUGE_PAGE == 0, "the buffers make whole huge pages");
static char g_bufferSpace[OUTPUT_BUFFERS * OUTPUT_BUFFER + HUGE_PAGE];

static char *
Buffer(size_t index)
{
	char *const first = g_bufferSpace + (HUGE_PAGE - uintptr_t(g_bufferSpace) % HUGE_PAGE) % HUGE_PAGE;
	return first + index * OUTPUT_BUFFER;
}

namespace {

/* Output through buffers of our own: the scan appends small pieces by the
 * million to one while a second thread writes those filled before, in
 * turn, since putting the page into the file costs nearly as much as
 * making it. Several buffers let the writer fall behind for a moment
 * without holding up the scan. A failed write is remembered so that the
 * scan can stop. */
struct Output {
	PageFile page;
	size_t filling = 0; /* the buffer being filled */
	char *buffer = Buffer(0);
	size_t used = 0;
	std::atomic<bool> failed{false};

	std::thread writer; /* none when no thread could be had: the scan writes */
	std::mutex lock;
	std::condition_variable changed;
	size_t handed = 0; /* buffers handed to the writer, not yet written */
	size_t lengths[OUTPUT_BUFFERS] = {};
	bool finished = false;
};

} // namespace

static void
WriteOut(Output *out, const char *bytes, size_t length)
{
	if (!out->failed && WritePageFile(&out->page, bytes, length) != 0)
		out->failed = true;
}

static void
WriteBehind(Output *out)
{
	size_t next = 0;
	std::unique_lock<std::mutex> hold(out->lock);
	for (;;) {
		out->changed.wait(hold, [out] { return out->handed || out->finished; });
		if (!out->handed)
			return;
		const size_t length = out->lengths[next];
		hold.unlock();
		WriteOut(out, Buffer(next), length);
		next = (next + 1) % OUTPUT_BUFFERS;
		hold.lock();
		out->handed--;
		hold.unlock();
		out->changed.notify_all();
		hold.lock();
	}
}

static void
StartWriter(Output *out)
{
	try {
		out->writer = std::thread(WriteBehind, out);
	} catch (const std::exception &) {
		/* no thread: slower, nothing else */
	}
}

/* Hands the buffer to the writer and goes on in the next, once that one
 * is written. */
static void
Flush(Output *out)
{
	if (!out->used)
		return;
	if (!out->writer.joinable()) {
		WriteOut(out, out->buffer, out->used);
	} else {
		std::unique_lock<std::mutex> hold(out->lock);
		out->changed.wait(hold, [out] { return out->handed < OUTPUT_BUFFERS - 1; });
		out->lengths[out->filling] = out->used;
		out->handed++;
		hold.unlock();
		out->changed.notify_all();
		out->filling = (out->filling + 1) % OUTPUT_BUFFERS;
		out->buffer = Buffer(out->filling);
	}
	out->used = 0;
}

/* Writes what is left and waits for the writer to end. */
static void
FinishOutput(Output *out)
{
	Flush(out);
	if (!out->writer.joinable())
		return;
	{
		std::lock_guard<std::mutex> hold(out->lock);
		out->finished = true;
		out->changed.notify_all();
	}
	out->writer.join();
}

static void
Append(Output *out, const char *text, size_t length)
{
	/* Only the document's head and tail come this way; both are small. */
	if (out->used + length > OUTPUT_BUFFER)
		Flush(out);
	std::memcpy(out->buffer + out->used, text, length);
	out->used += length;
}

template <size_t N>
static void
AppendText(Output *out, const char (&text)[N])
{
	Append(out, text, N - 1);
}

/* Most of the page is cells: each is put together in the output buffer
 * itself. */
template <size_t N>
static char *
PutText(char *p, const char (&text)[N])
{
	std::memcpy(p, text, N - 1);
	return p + N - 1;
}

static char *
PutDecimal(char *p, int64_t value)
{
	char digits[24];
	char *d = digits + sizeof digits;
	uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
	do {
		*--d = char('0' + magnitude % 10);
		magnitude /= 10;
	} while (magnitude);
	if (value < 0)
		*--d = '-';
	const size_t length = size_t(digits + sizeof digits - d);
	std::memcpy(p, d, length);
	return p + length;
}

/* Six lower-case hex digits: red, green, blue. */
static char *
PutColor(char *p, uint32_t color)
{
	static const char hex[] = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
	                          "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f"
	                          "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f"
	                          "606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f"
	                          "808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f"
	                          "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf"
	                          "c0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedf"
	                          "e0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff";
	std::memcpy(p, hex + 2 * (color & 0xFF), 2);
	std::memcpy(p + 2, hex + 2 * (color >> 8 & 0xFF), 2);
	std::memcpy(p + 4, hex + 2 * (color >> 16 & 0xFF), 2);
	return p + 6;
}

/* A short text padded to 16 bytes goes in with one copy; what follows
 * writes over the padding. */
struct Piece {
	char text[16];
	size_t length;
};

template <size_t N>
static constexpr Piece
MakePiece(const char (&text)[N])
{
	static_assert(N <= 16, "a piece is at most 15 bytes");
	Piece piece = {};
	for (size_t i = 0; i + 1 < N; i++)
		piece.text[i] = text[i];
	piece.length = N - 1;
	return piece;
}

static char *
PutPiece(char *p, const Piece &piece)
{
	std::memcpy(p, piece.text, sizeof piece.text);
	return p + piece.length;
}

static constexpr Piece INNER_CELL_START = MakePiece("<TD bgcolor=#");
static constexpr Piece CELL_END = MakePiece("></TD>");

/* Room for a row's start and the longest cell, padding included. */
enum { LONGEST_CELL = 160 };

/* Cells starting in the first row carry the width of their columns, cells
 * starting in the first column the height of their rows. */
static char *
PutCell(char *p, int32_t x, int32_t y, int32_t cols, int32_t rows, uint32_t color, int cellSize)
{
	if (x > 0 && y > 0) {
		p = PutPiece(p, INNER_CELL_START);
	} else {
		p = PutText(p, "<TD");
		if (y == 0)
			p = PutDecimal(PutText(p, " width="), int64_t(cellSize) * cols);
		if (x == 0)
			p = PutDecimal(PutText(p, " height="), int64_t(cellSize) * rows);
		p = PutText(p, " bgcolor=#");
	}
	p = PutColor(p, color);
	if (cols > 1)
		p = PutDecimal(PutText(p, " colspan="), cols);
	if (rows > 1)
		p = PutDecimal(PutText(p, " rowspan="), rows);
	return PutPiece(p, CELL_END);
}

namespace {

struct CellSpan {
	int32_t cols, rows;
};

} // namespace

/* The cell starting at (x, y), grown right as far as its colour runs, then
 * down while the area does not shrink (ties go to the taller cell), both
 * within the span limits. */
[[gnu::noinline]] static CellSpan
GrowCell(const PixelContext &pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t color)
{
	int32_t cols = 1, rows = 1;
	for (int32_t c = x + 1; c < width && cols < MAX_COLSPAN; c++) {
		if (GetPixelColor(&pixels, c, y) != color || IsCellCovered(c, y, 0))
			break;
		cols++;
	}
	int64_t area = cols;
	const bool mayGrowDown = y + 1 < height && GetPixelColor(&pixels, x, y + 1) == color;
	for (int32_t r = y + 1; mayGrowDown && r < height && rows < MAX_ROWSPAN; r++) {
		int32_t last = -1;
		for (int32_t c = x; c < x + cols; c++) {
			if (GetPixelColor(&pixels, c, r) != color || IsCellCovered(c, r, 0))
				break;
			last = c;
		}
		if (last < 0)
			break;
		const int32_t newCols = last - x + 1;
		if (int64_t(newCols) * (rows + 1) < area)
			break;
		rows++;
		cols = newCols;
		area = int64_t(cols) * rows;
	}
	return {cols, rows};
}

/* The greedy scan: each uncovered pixel starts a cell of its colour.
 * Returns 0, or -1 when a cell could not be recorded; in that case the
 * cell and the row's end are not written.
 *
 * The cells go straight into the output buffer through a cursor of the
 * scan's own, and the pixels are read through a copy of the context: both
 * then stay in registers, where every byte written would otherwise make
 * the compiler fetch them again. */
static int
ScanPicture(const PixelContext *context, int32_t width, int32_t height, int cellSize, Output *out)
{
	const PixelContext pixels = *context;
	char *p = out->buffer + out->used;
	char *room = out->buffer + OUTPUT_BUFFER - LONGEST_CELL; /* the last place a piece may start */
	auto flush = [&] {
		out->used = size_t(p - out->buffer);
		Flush(out);
		p = out->buffer;
		room = out->buffer + OUTPUT_BUFFER - LONGEST_CELL;
	};
	for (int32_t y = 0; y < height; y++) {
		p = PutText(p, "<TR>");
		if (p > room)
			flush();
		int32_t x = 0;
		while (x < width) {
			if (IsCellCovered(x, y, 1)) {
				x++;
				continue;
			}
			const uint32_t color = GetPixelColor(&pixels, x, y);
			/* Most cells are single pixels, and two looks tell. */
			CellSpan cell = {1, 1};
			if ((x + 1 < width && GetPixelColor(&pixels, x + 1, y) == color) ||
			    (y + 1 < height && GetPixelColor(&pixels, x, y + 1) == color))
				cell = GrowCell(pixels, x, y, width, height, color);
			if (AddCellRect(x, x + cell.cols - 1, y, y + cell.rows - 1) != 0) {
				out->used = size_t(p - out->buffer);
				return -1;
			}
			p = PutCell(p, x, y, cell.cols, cell.rows, color, cellSize);
			if (p > room)
				flush();
			x += cell.cols;
		}
		p = PutText(p, "</TR>\r\n");
		if (p > room)
			flush();
		if (out->failed)
			break; /* the disk refused; reading on would only waste time */
		if (g_progress)
			g_progress(y + 1, height);
	}
	out->used = size_t(p - out->buffer);
	return 0;
}

/* The same file by device and inode: the same path, a symbolic link or a
 * hard link. */
static bool
IsSameFile(const char *a, const char *b)
{
	struct stat sa, sb;
	return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int
ConvertBitmapToTable(const char *inputPath, const char *outputPath, int cellSize)
{
	Bitmap *bitmap = LoadBitmapFile(inputPath);
	if (!bitmap) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", inputPath);
		return 1;
	}

	/* A page written over its own picture would leave neither. */
	Output out;
	if (IsSameFile(inputPath, outputPath) || OpenPageFile(outputPath, &out.page) != 0) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", outputPath);
		DeleteBitmap(bitmap);
		return 1;
	}

	PixelContext context;
	if (int error = CreatePixelContext(&context)) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "CreateDC 失敗[%d]", error);
		DeleteBitmap(bitmap);
		AbandonPageFile(&out.page); /* the old page stays */
		return 1;
	}

#ifdef MADV_HUGEPAGE
	madvise(Buffer(0), OUTPUT_BUFFERS * OUTPUT_BUFFER, MADV_HUGEPAGE); /* a hint; nothing fails */
#endif
	StartWriter(&out);

	int32_t width, height;
	MeasureBitmap(bitmap, &width, &height);
	const Bitmap *previous = SelectBitmap(&context, bitmap);

	char head[sizeof DOCUMENT_HEAD + 40];
	const int headLength = std::snprintf(head, sizeof head, DOCUMENT_HEAD,
	                                     static_cast<long long>(int64_t(cellSize) * width), cellSize);
	Append(&out, head, size_t(headLength));
	int result = ScanPicture(&context, width, height, cellSize, &out);
	ClearCellRects();
	AppendText(&out, DOCUMENT_TAIL);
	FinishOutput(&out);

	SelectBitmap(&context, previous);
	DeleteBitmap(bitmap);
	DeletePixelContext(&context);

	/* Out of memory, the page closed off early still takes the old one's
	 * place; a page that could not be written whole never does. */
	bool failed = out.failed;
	if (failed)
		AbandonPageFile(&out.page);
	else
		failed = CommitPageFile(&out.page) != 0;
	if (failed) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイル書込失敗[%s]", outputPath);
		return 1;
	}
	return result;
}
