#include "page/scan.h"

#include <cstring>
#include <vector>

#include "page/cell_rect.h"
#include "system/progress.h"

/* HTML parsers clamp spans to these; a longer run is cut into cells. */
enum : int32_t { MAX_COLSPAN = 1000, MAX_ROWSPAN = 65534 };

namespace {

struct CellSpan {
	int32_t cols, rows;
};

} // namespace

/* The cell starting at (x, y), grown right as far as its colour runs, then
 * down while the area does not shrink (ties go to the taller cell), both
 * within the span limits. */
static CellSpan
GrowCell(const PixelContext &pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t color,
         CellSpan most)
{
	int32_t cols = 1, rows = 1;
	for (int32_t c = x + 1; c < width && cols < most.cols; c++) {
		if (GetPixelColor(&pixels, c, y) != color || IsCellCovered(c, y, 0))
			break;
		cols++;
	}
	int64_t area = cols;
	const bool mayGrowDown = y + 1 < height && GetPixelColor(&pixels, x, y + 1) == color;
	for (int32_t r = y + 1; mayGrowDown && r < height && rows < most.rows; r++) {
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

/* The scan itself. Counted only (counted set), a full buffer is counted
 * and starts again; else it is handed over to be written. onRow(y, rows)
 * is called at the end of each row. Without CSS, the first cells size the
 * table and lines stay short.
 *
 * The cells go straight into the page's buffer through a cursor of the
 * scan's own, and the pixels are read through a copy of the context: both
 * then stay in registers, where every byte written would otherwise make
 * the compiler fetch them again. One scan serves both the page and its
 * count: made twice, the compiler no longer put the covered-cell list's
 * and the cells' code inline, and a page took a third more instructions. */
static int
ScanPicture(const PixelContext *context, const Grid &grid, CellText text, PageBuffer *out, ScanTotals *totals,
            long long *counted, void (*onRow)(int32_t y, int32_t rows))
{
	const PixelContext pixels = *context;
	const bool withoutCss = text != CELLS_STYLED, asSent = text == CELLS_AS_SENT;
	const int32_t width = grid.width, height = grid.height;
	long long count = 0, equals = 0, breaks = 0;
	int line = 0; /* without CSS: the characters of the line, as quoted-printable counts them */
	char *p = out->bytes + out->used;
	char *room = out->bytes + PAGE_BUFFER_SIZE - LONGEST_CELL; /* the last place a piece may start */
	auto handOver = [&] {
		out->used = size_t(p - out->bytes);
		if (counted) {
			*counted += (long long)out->used;
			out->used = 0;
		} else {
			HandOverPageBuffer(out);
		}
		p = out->bytes;
		room = out->bytes + PAGE_BUFFER_SIZE - LONGEST_CELL;
	};
	for (int32_t y = 0; y < height; y++) {
		p = PutRowStart(p);
		line = 4;
		if (p > room)
			handOver();
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
			    (y + 1 < height && GetPixelColor(&pixels, x, y + 1) == color)) {
				const CellSpan most = {withoutCss && y == 0 ? 1 : MAX_COLSPAN,
				                       withoutCss && x == 0 ? 1 : MAX_ROWSPAN};
				cell = GrowCell(pixels, x, y, width, height, color, most);
			}
			if (AddCellRect(x, x + cell.cols - 1, y, y + cell.rows - 1) != 0) {
				out->used = size_t(p - out->bytes);
				*totals = ScanTotals{count, equals, breaks};
				ClearCellRects();
				return -1;
			}
			char *const start = p;
			p = PutCell(p, x, y, cell.cols, cell.rows, color, grid);
			count++;
			if (withoutCss) {
				/* A cell that does not fit the line begins the next one. */
				const int signs = CellEqualSigns(x, y, cell.cols, cell.rows, color == CLEAR_PIXEL);
				const int length = int(BytesAsSent(p - start, signs));
				if (asSent)
					p = SpellAsSent(start, p, signs);
				equals += signs;
				if (line + length > LONGEST_LINE) {
					std::memmove(start + 2, start, size_t(p - start));
					PutLineBreak(start);
					p += 2;
					line = 0;
					breaks++;
				}
				line += length;
			}
			if (p > room)
				handOver();
			x += cell.cols;
		}
		if (withoutCss && line + 5 > LONGEST_LINE) {
			p = PutLineBreak(p);
			breaks++;
		}
		p = PutRowEnd(p);
		if (p > room)
			handOver();
		if (!counted && PageWriteFailed())
			break; /* the disk refused; reading on would only waste time */
		onRow(y, height);
	}
	out->used = size_t(p - out->bytes);
	*totals = ScanTotals{count, equals, breaks};
	ClearCellRects();
	return 0;
}

static void
RowWritten(int32_t y, int32_t rows)
{
	ReportProgress(STAGE_WRITING, y + 1, rows);
}

int
WriteCells(const PixelContext *context, const Grid &grid, CellText text, PageBuffer *out, ScanTotals *totals)
{
	return ScanPicture(context, grid, text, out, totals, nullptr, RowWritten);
}

/* A long count keeps the caller's windows painted. */
static void
RowCounted(int32_t y, int32_t)
{
	if (y % 64 == 63)
		RepeatProgress();
}

long long
MeasureCells(const DecodedPicture &cells, const Grid &grid, ByteCount count)
{
	std::vector<char> scratch(PAGE_BUFFER_SIZE);
	PixelContext context;
	CreatePixelContext(&context);
	SelectBitmap(&context, &cells);
	PageBuffer buffer{scratch.data(), 0};
	long long counted = 0;
	ScanTotals totals;
	const int result = ScanPicture(&context, grid, CELLS_WITHOUT_CSS, &buffer, &totals, &counted, RowCounted);
	DeletePixelContext(&context);
	if (result != 0)
		return -1;
	return CountRows(count, RowsWritten{counted + (long long)buffer.used, totals.equals, totals.cells, grid.height,
	                                    totals.breaks});
}
