#include "convert/convert.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "convert/cell_rect.h"
#include "convert/page_file.h"
#include "convert/page_writer.h"
#include "convert/pixel_source.h"
#include "convert/progress.h"
#include "shell/notice.h"

/* The title is Shift_JIS, as the page has always carried it; everything
 * else in the document is ASCII. Lines end in CR LF on every platform.
 *
 * The style makes every engine draw each pixel as a cellSize square: a
 * fixed layout takes the column widths from the first row (a spanning
 * cell's width shared equally), every row is one cell high, and the
 * cells' own height attributes, which some engines give wholly to a
 * span's first row, are set aside. */
#define DOCUMENT_TITLE                                                                                   \
	"<HTML>\r\n"                                                                                     \
	"<HEAD><TITLE>"                                                                                  \
	"\x82\xC8\x82\xBA\x90\x65\x95\x83\x8F\x4C\x82\xAA\x82\xB7\x82\xE9\x82\xCC\x82\xBE"                 \
	"</TITLE>"
static const char DOCUMENT_HEAD[] = DOCUMENT_TITLE
	"<STYLE>TABLE{table-layout:fixed;width:%lldpx}TR{height:%dpx}TD{height:auto}</STYLE></HEAD>\r\n"
	"<BODY>\r\n"
	"<TABLE border=0 cellspacing=0 cellpadding=0>\r\n";
static const char DOCUMENT_TAIL[] = "</TABLE>\r\n</BODY>\r\n</HTML>\r\n";

/* Without CSS the table says its own width; the fragment is the table
 * alone. */
#define TABLE_WITH_WIDTH "<TABLE border=0 cellspacing=0 cellpadding=0 width=%lld>\r\n"
static const char DOCUMENT_HEAD_WITHOUT_CSS[] = DOCUMENT_TITLE "</HEAD>\r\n<BODY>\r\n" TABLE_WITH_WIDTH;
static const char FRAGMENT_HEAD[] = TABLE_WITH_WIDTH;
static const char FRAGMENT_TAIL[] = "</TABLE>\r\n";

/* HTML parsers clamp spans to these; a longer run is cut into cells. */
enum : int32_t { MAX_COLSPAN = 1000, MAX_ROWSPAN = 65534 };

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

/* Room for a row's start and the longest cell. */
enum { LONGEST_CELL = 160 };

/* The table's grid: its columns and rows, each cellSize screen pixels but
 * the last, which a coarser grid leaves smaller. */
namespace {

struct Grid {
	int64_t cellSize;
	int32_t width, height;
	int64_t lastWidth, lastHeight;
};

} // namespace

/* Cells starting in the first row carry the width of their columns, cells
 * starting in the first column the height of their rows. A clear cell has
 * no colour, and shows what lies below the table. */
static char *
PutCell(char *p, int32_t x, int32_t y, int32_t cols, int32_t rows, uint32_t color, const Grid &grid)
{
	if (x > 0 && y > 0 && color != CLEAR_PIXEL) {
		p = PutText(p, "<TD bgcolor=#");
	} else {
		p = PutText(p, "<TD");
		if (y == 0)
			p = PutDecimal(PutText(p, " width="), grid.cellSize * cols -
			                                          (x + cols == grid.width ? grid.cellSize - grid.lastWidth : 0));
		if (x == 0)
			p = PutDecimal(PutText(p, " height="), grid.cellSize * rows -
			                                           (y + rows == grid.height ? grid.cellSize - grid.lastHeight : 0));
		if (color != CLEAR_PIXEL)
			p = PutText(p, " bgcolor=#");
	}
	if (color != CLEAR_PIXEL)
		p = PutColor(p, color);
	if (cols > 1)
		p = PutDecimal(PutText(p, " colspan="), cols);
	if (rows > 1)
		p = PutDecimal(PutText(p, " rowspan="), rows);
	return PutText(p, "></TD>");
}

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

/* The greedy scan: each uncovered pixel starts a cell of its colour.
 * Returns 0, or -1 when a cell could not be recorded; in that case the
 * cell and the row's end are not written. Where the first cells size the
 * table (no CSS), those of the first row are one column wide and those of
 * the first column one row tall, so that every column and row has an
 * unspanned cell that carries its size.
 *
 * The cells go straight into the page's buffer through a cursor of the
 * scan's own, and the pixels are read through a copy of the context: both
 * then stay in registers, where every byte written would otherwise make
 * the compiler fetch them again. onRow(y) is called at the end of each
 * row. */
template <class OnRow>
static int
ScanPicture(const PixelContext *context, const Grid &grid, bool firstCellsSize, PageBuffer *out, long long *cells,
            long long *counted, OnRow onRow)
{
	const PixelContext pixels = *context;
	const int32_t width = grid.width, height = grid.height;
	long long count = 0;
	char *p = out->bytes + out->used;
	char *room = out->bytes + PAGE_BUFFER_SIZE - LONGEST_CELL; /* the last place a piece may start */
	/* Counted only, a full buffer starts again. */
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
		p = PutText(p, "<TR>");
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
				const CellSpan most = {firstCellsSize && y == 0 ? 1 : MAX_COLSPAN,
				                       firstCellsSize && x == 0 ? 1 : MAX_ROWSPAN};
				cell = GrowCell(pixels, x, y, width, height, color, most);
			}
			if (AddCellRect(x, x + cell.cols - 1, y, y + cell.rows - 1) != 0) {
				out->used = size_t(p - out->bytes);
				*cells = count;
				return -1;
			}
			p = PutCell(p, x, y, cell.cols, cell.rows, color, grid);
			count++;
			if (p > room)
				handOver();
			x += cell.cols;
		}
		p = PutText(p, "</TR>\r\n");
		if (p > room)
			handOver();
		if (!counted && PageWriteFailed())
			break; /* the disk refused; reading on would only waste time */
		onRow(y);
	}
	out->used = size_t(p - out->bytes);
	*cells = count;
	return 0;
}

int
ConvertBitmapToTable(const char *inputPath, const char *outputPath, int cellSize)
{
	return ConvertPicture(inputPath, outputPath, cellSize, DEFAULT_PAGE_OPTIONS, nullptr);
}

/* The grid of a picture width x height at the scale: its cells scale times
 * the cell size, the last column and row what is left of the drawn size. */
static Grid
GridOf(int32_t width, int32_t height, int32_t scale, int cellSize)
{
	const int32_t columns = (width + scale - 1) / scale, rows = (height + scale - 1) / scale;
	return Grid{int64_t(cellSize) * scale, columns, rows, int64_t(cellSize) * (width - int64_t(columns - 1) * scale),
	            int64_t(cellSize) * (height - int64_t(rows - 1) * scale)};
}

/* The bytes of the page of a grid's cells, without writing it; -1 when
 * memory ran out. */
namespace {

/* How far the search has got: steps done of those it may take. */
struct SearchProgress {
	long long done, total;
};

} // namespace

static SearchProgress g_search;

static long long
MeasureCells(const DecodedPicture &grid, const Grid &sizes)
{
	const SearchProgress progress = g_search;
	std::vector<char> scratch(PAGE_BUFFER_SIZE);
	PixelContext context;
	CreatePixelContext(&context);
	SelectBitmap(&context, &grid);
	PageBuffer buffer{scratch.data(), 0};
	long long counted = 0, cells = 0;
	/* Long counts keep the caller's windows painted. */
	const int result = ScanPicture(&context, sizes, true, &buffer, &cells, &counted, [&](int32_t y) {
		if (y % 64 == 63)
			ReportProgress(STAGE_FITTING, progress.done, progress.total);
	});
	ClearCellRects();
	DeletePixelContext(&context);
	return result == 0 ? counted + (long long)buffer.used : -1;
}

/* The bytes of every row's start and end and of the first row's and
 * column's cells, which no reduction of the grid takes away: each such cell
 * at least "<TD width=1 bgcolor=#000000></TD>", or without its colour. */
static long long
LeastBytes(const Grid &grid, bool clear)
{
	return 11LL * grid.height + (clear ? 17LL : 33LL) * (grid.width + grid.height - 1);
}

/* Of the reductions the options leave open, the one whose page (with
 * `fixed` bytes around its cells) fits the budget with the least error.
 * For each grid: where nothing but the grid is fixed and the grid is
 * summed (reduce.h), the most rectangles of its partition that fit (they
 * lose 0.5 to 1.3 dB less than merging near colours on the photographs
 * measured); else the least tolerance that fits. Both are found by
 * halving, as more rectangles or a smaller tolerance make more cells. The
 * finest grid that may fit comes first, then coarser ones, until two in a
 * row lose more than the best; the coarsest is one cell, the smallest
 * table there is. A scale the user gives is the one grid weighed. Else a
 * grid of more than 2^22 cells is weighed only as the picture itself,
 * without a reduction, so that the search's memory stays bounded whatever
 * the picture. False when nothing fits. */
enum : int64_t { MOST_GRID_CELLS = int64_t(1) << 22 };

namespace {

/* A reduction weighed: the grid it paints, or the picture as it is, and
 * its error. */
struct Candidate {
	Reduction reduction;
	DecodedPicture grid;
	bool asIs;
	uint64_t error;
};

/* Steps the search counts for each grid: its halvings and more. */
enum : long long { GRID_STEPS = 32 };

} // namespace

static long long
CellBytes(const DecodedPicture &painted, const Grid &grid)
{
	const long long counted = MeasureCells(painted, grid);
	if (counted < 0)
		throw std::bad_alloc();
	g_search.done += g_search.done % GRID_STEPS < GRID_STEPS - 1;
	ReportProgress(STAGE_FITTING, g_search.done, g_search.total);
	return counted;
}

/* The candidate of a painting of the grid, or of the grid as it is (at
 * scale 1 the picture itself, not copied). */
static Candidate
Painted(CoarseGrid *coarse, const Reduction &reduction, DecodedPicture *painting)
{
	const uint64_t error = DrawingError(*coarse, painting ? *painting : coarse->Cells());
	if (painting)
		return Candidate{reduction, std::move(*painting), false, error};
	return Candidate{reduction, std::move(coarse->means), coarse->scale == 1, error};
}

static bool
FitByCuts(CoarseGrid *coarse, const Grid &grid, long long budget, Candidate *found)
{
	/* The grid as it is, where it fits, loses the least. */
	if (CellBytes(coarse->Cells(), grid) <= budget) {
		*found = Painted(coarse, Reduction{coarse->scale, 0, 0, 0}, nullptr);
		return true;
	}
	const Partition partition(*coarse, size_t(budget / 17) + 1);
	auto bytes = [&](size_t rectangles) { return CellBytes(partition.Paint(rectangles), grid); };
	if (bytes(1) > budget)
		return false;
	size_t lo = 1, hi = partition.Most() + 1; /* lo fits, hi does not */
	while (hi - lo > 1) {
		const size_t mid = lo + (hi - lo) / 2;
		(bytes(mid) <= budget ? lo : hi) = mid;
	}
	DecodedPicture painted = partition.Paint(lo);
	*found = Painted(coarse, Reduction{coarse->scale, 0, 0, lo}, &painted);
	return true;
}

static bool
FitByTolerance(CoarseGrid *coarse, const Grid &grid, long long budget, const Reduction &asked, Candidate *found)
{
	DecodedPicture fewer; /* the grid in fewer colours, where they are asked for */
	if (asked.colours > 0)
		fewer = Reduce(coarse->Cells(), asked.colours, 0);
	const DecodedPicture &base = asked.colours > 0 ? fewer : coarse->Cells();
	auto fits = [&](int tolerance) {
		return CellBytes(tolerance > 0 ? Reduce(base, 0, tolerance) : base, grid) <= budget;
	};
	int tolerance = asked.tolerance;
	if (!fits(tolerance)) {
		if (asked.tolerance > 0 || !fits(MAX_TOLERANCE))
			return false;
		int lo = 0, hi = MAX_TOLERANCE; /* lo does not fit, hi does */
		while (hi - lo > 1) {
			const int mid = (lo + hi) / 2;
			(fits(mid) ? hi : lo) = mid;
		}
		tolerance = hi;
	}
	const Reduction reduction{coarse->scale, asked.colours, tolerance, 0};
	if (tolerance == 0 && asked.colours == 0) {
		*found = Painted(coarse, reduction, nullptr);
	} else {
		DecodedPicture merged = tolerance > 0 ? Reduce(base, 0, tolerance) : std::move(fewer);
		*found = Painted(coarse, reduction, &merged);
	}
	return true;
}

static bool
ChooseReduction(const DecodedPicture &picture, int cellSize, const PageOptions &options, long long fixed,
                Candidate *chosen)
{
	const Reduction &asked = options.reduction;
	const bool scaleGiven = asked.scale > 1;
	std::vector<int32_t> scales = {asked.scale};
	if (!scaleGiven) {
		scales = {1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16, 20, 24, 32, 48, 64};
		const int32_t whole = std::max(picture.width, picture.height);
		for (int32_t s = 128; s < whole; s *= 2)
			scales.push_back(s);
		scales.push_back(std::max(whole, 65));
	}
	const long long budget = options.maxBytes - fixed;
	chosen->error = UINT64_MAX;
	g_search = SearchProgress{0, (long long)scales.size() * GRID_STEPS};
	int worse = 0;
	for (size_t i = 0; i < scales.size() && worse < 2; i++) {
		g_search.done = (long long)i * GRID_STEPS;
		ReportProgress(STAGE_FITTING, g_search.done, g_search.total);
		const int32_t scale = scales[i];
		const Grid grid = GridOf(picture.width, picture.height, scale, cellSize);
		if (LeastBytes(grid, options.keepClear) > budget)
			continue;
		Candidate candidate;
		if (!scaleGiven && int64_t(grid.width) * grid.height > MOST_GRID_CELLS) {
			if (scale > 1 || asked.colours > 0 || asked.tolerance > 0 || CellBytes(picture, grid) > budget)
				continue;
			candidate = Candidate{NO_REDUCTION, DecodedPicture(), true, 0};
		} else {
			CoarseGrid coarse = Coarsen(picture, scale, options.background);
			const bool byCuts = asked.colours == 0 && asked.tolerance == 0 && coarse.Summed();
			if (byCuts ? !FitByCuts(&coarse, grid, budget, &candidate)
			           : !FitByTolerance(&coarse, grid, budget, asked, &candidate))
				continue; /* a page of fewer cells cannot be had here */
		}
		if (candidate.error < chosen->error) {
			*chosen = std::move(candidate);
			worse = 0;
		} else {
			worse++;
		}
	}
	ReportProgress(STAGE_FITTING, g_search.total, g_search.total);
	return chosen->error != UINT64_MAX;
}

int
ConvertPicture(const char *inputPath, const char *outputPath, int cellSize, const PageOptions &options,
               PageTotals *totals)
{
	SetPictureBackground({options.background, options.keepClear});
	Bitmap *bitmap = LoadBitmapFile(inputPath);
	SetPictureBackground(DEFAULT_PICTURE_BACKGROUND);
	if (!bitmap) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", inputPath);
		return 1;
	}
	const int32_t drawnWidth = bitmap->width, drawnHeight = bitmap->height;
	const bool clearKept = options.keepClear && std::find(bitmap->pixels.begin(), bitmap->pixels.end(),
	                                                      CLEAR_PIXEL) != bitmap->pixels.end();
	const Reduction &asked = options.reduction;
	const bool reducing = IsReducing(options);
	const bool withoutCss = options.noCss || options.fragment || reducing;
	const char *format = options.fragment ? FRAGMENT_HEAD : withoutCss ? DOCUMENT_HEAD_WITHOUT_CSS : DOCUMENT_HEAD;
	const char *tail = options.fragment ? FRAGMENT_TAIL : DOCUMENT_TAIL;
	char head[sizeof DOCUMENT_HEAD + 40];
	const int headLength =
		std::snprintf(head, sizeof head, format, static_cast<long long>(int64_t(cellSize) * drawnWidth), cellSize);

	/* Reduced before the page is opened: a budget no page meets leaves the
	 * old one as it was. */
	Reduction reduction = asked;
	double psnr = std::numeric_limits<double>::infinity();
	if (reducing) {
		try {
			/* The search's choice comes painted; a reduction by hand is painted here. */
			Candidate chosen;
			const long long fixed = headLength + (long long)std::strlen(tail);
			if (options.maxBytes > 0) {
				if (!ChooseReduction(*bitmap, cellSize, options, fixed, &chosen)) {
					ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "%lld バイトに収まる表は作れない訳で。[%s]",
					           options.maxBytes, outputPath);
					DeleteBitmap(bitmap);
					return 1;
				}
			} else {
				CoarseGrid coarse = Coarsen(*bitmap, asked.scale, options.background);
				DecodedPicture reduced;
				if (asked.colours > 0 || asked.tolerance > 0)
					reduced = Reduce(coarse.Cells(), asked.colours, asked.tolerance);
				chosen = Painted(&coarse, asked, asked.colours > 0 || asked.tolerance > 0 ? &reduced : nullptr);
			}
			reduction = chosen.reduction;
			psnr = PeakSignalToNoise(chosen.error, *bitmap);
			if (!chosen.asIs)
				std::swap(*bitmap, chosen.grid);
		} catch (const std::bad_alloc &) {
			ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "記憶領域の獲得に失敗");
			DeleteBitmap(bitmap);
			return 1;
		}
	}

	/* A page written over its own picture would leave neither. */
	PageFile page;
	if (IsSameFile(inputPath, outputPath) || OpenPageFile(outputPath, &page) != 0) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", outputPath);
		DeleteBitmap(bitmap);
		return 1;
	}

	PixelContext context;
	if (int error = CreatePixelContext(&context)) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "CreateDC 失敗[%d]", error);
		DeleteBitmap(bitmap);
		AbandonPageFile(&page); /* the old page stays */
		return 1;
	}

	const Bitmap *previous = SelectBitmap(&context, bitmap);

	PageBuffer out;
	StartPageWriter(&page, &out);
	AppendToPage(&out, head, size_t(headLength));
	long long cells = 0;
	const Grid grid = GridOf(drawnWidth, drawnHeight, reduction.scale, cellSize);
	const int result = ScanPicture(&context, grid, withoutCss, &out, &cells, nullptr,
	                               [&](int32_t y) { ReportProgress(STAGE_WRITING, y + 1, grid.height); });
	ClearCellRects();
	AppendToPage(&out, tail, std::strlen(tail));
	const bool written = FinishPageWriter(&out);

	SelectBitmap(&context, previous);
	DeleteBitmap(bitmap);
	DeletePixelContext(&context);

	/* Out of memory, the page closed off early still takes the old one's
	 * place; a page that could not be written whole never does. */
	if (!written)
		AbandonPageFile(&page);
	if (!written || CommitPageFile(&page) != 0) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイル書込失敗[%s]", outputPath);
		return 1;
	}
	if (totals)
		*totals = PageTotals{cells, (long long)PageBytesWritten(), reduction, psnr, clearKept};
	return result;
}
