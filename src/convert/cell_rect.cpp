#include "convert/cell_rect.h"

#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "shell/notice.h"

CellRect *g_cellRectHead = nullptr;

/* The list is the record of what is covered, and it is left exactly as the
 * plain walks leave it. Walking it at every pixel costs time in proportion
 * to the cells already begun, so the answers come from an index instead
 * whenever the index is sure to agree with the walk:
 *
 * - While each new rectangle starts below every earlier one over its
 *   columns (as the conversion adds them), and the row asked is at or
 *   below every top and every earlier pruning row, a pixel is covered
 *   exactly when the deepest rectangle over its column reaches its row;
 *   at most one rectangle can hold it.
 * - A pruning walk only matters if it would free something: a rectangle
 *   other than the head that ends above the pruning row and comes before
 *   the one holding the pixel, that is, one added later. Rectangles are
 *   numbered as they come; `pruneBound` is at least the number of every
 *   rectangle that a walk at `pruneRow` could free. When the pixel's
 *   rectangle is newer than that, or no rectangle could be freed at all,
 *   the walk is skipped.
 *
 * Anything else (rectangles out of order or overlapping, rows asked upwards,
 * no memory for the index) falls back to the plain walk. */

namespace {

struct ColumnRecord {
	int32_t bottom;  /* deepest bottom of the rectangles over this column */
	uint32_t number; /* the number of that rectangle */
};

constexpr int32_t NO_BOTTOM = std::numeric_limits<int32_t>::min();
constexpr int64_t MAX_INDEXED_COLUMNS = int64_t(1) << 28;

struct CoverIndex {
	bool usable = true;
	uint32_t headNumber = 0; /* rectangles are numbered from 1; 0: none */
	int64_t lastTop = std::numeric_limits<int64_t>::min();
	int64_t pruneRow = std::numeric_limits<int64_t>::min();
	uint32_t pruneBound = 0;
	std::vector<ColumnRecord> columns;
};

CoverIndex g_index;

} // namespace

/* Keeps the column records for a rectangle about to be added, or gives up
 * on the index until the list is next cleared. */
static void
IndexRectangle(int32_t left, int32_t right, int32_t top, int32_t bottom)
{
	CoverIndex &index = g_index;
	if (!index.usable)
		return;
	if (left < 0 || right < left || bottom < top ||
	    right >= MAX_INDEXED_COLUMNS || index.headNumber == std::numeric_limits<uint32_t>::max()) {
		index.usable = false;
		return;
	}
	if (size_t(right) >= index.columns.size()) {
		try {
			index.columns.resize(size_t(right) + 1, ColumnRecord{NO_BOTTOM, 0});
		} catch (const std::bad_alloc &) {
			index.usable = false;
			return;
		}
	}
	ColumnRecord *record = index.columns.data();
	for (int32_t c = left; c <= right; c++) {
		if (record[c].bottom >= top) { /* not below an earlier rectangle */
			index.usable = false;
			return;
		}
	}
	for (int32_t c = left; c <= right; c++)
		record[c] = ColumnRecord{bottom, index.headNumber + 1};
}

int
AddCellRect(int32_t left, int32_t right, int32_t top, int32_t bottom)
{
	CellRect *node = static_cast<CellRect *>(std::malloc(sizeof *node));
	if (!node) {
		/* Shown as it stands: formatting might itself need memory. */
		ShowMessageBox(nullptr, "記憶領域の獲得に失敗", APP_TITLE, MB_ICONERROR);
		return -1;
	}
	IndexRectangle(left, right, top, bottom);

	CoverIndex &index = g_index;
	/* The head stops being the head and may now be freed by a pruning walk. */
	if (g_cellRectHead && g_cellRectHead->bottom < index.pruneRow && index.pruneBound < index.headNumber)
		index.pruneBound = index.headNumber;
	if (index.headNumber < std::numeric_limits<uint32_t>::max())
		index.headNumber++;
	if (top > index.lastTop)
		index.lastTop = top;

	node->left = left;
	node->right = right;
	node->top = top;
	node->bottom = bottom;
	node->next = g_cellRectHead;
	g_cellRectHead = node;
	return 0;
}

static int
WalkCellRects(int32_t x, int32_t y, int prune)
{
	CellRect *kept = nullptr;
	CellRect *node = g_cellRectHead;

	while (node) {
		if (node->left <= x && x <= node->right && node->top <= y && y <= node->bottom)
			return 1;
		/* The scan only moves down, so a rectangle ending above row y
		 * is done with. The head is never pruned: it has no predecessor. */
		if (prune && kept && node->bottom < y) {
			kept->next = node->next;
			std::free(node);
			node = kept->next;
			continue;
		}
		kept = node;
		node = node->next;
	}
	return 0;
}

int
IsCellCovered(int32_t x, int32_t y, int prune)
{
	CoverIndex &index = g_index;
	if (prune && y > index.pruneRow) {
		index.pruneRow = y;
		index.pruneBound = index.headNumber; /* anything might end above y now */
	}
	if (!g_cellRectHead)
		return 0;
	if (!index.usable || y < index.lastTop || y < index.pruneRow)
		return WalkCellRects(x, y, prune);

	const ColumnRecord *record =
		x >= 0 && size_t(x) < index.columns.size() ? &index.columns[size_t(x)] : nullptr;
	const bool covered = record && record->bottom >= y;
	if (!prune)
		return covered;
	if (covered ? index.pruneBound < record->number : index.pruneBound == 0)
		return covered;

	const int found = WalkCellRects(x, y, 1);
	/* Whatever the walk passed is pruned; what is left lies behind the
	 * rectangle that holds the pixel, or nowhere. */
	index.pruneBound = covered ? record->number - 1 : 0;
	return found;
}

int
ClearCellRects(void)
{
	while (g_cellRectHead) {
		CellRect *next = g_cellRectHead->next;
		std::free(g_cellRectHead);
		g_cellRectHead = next;
	}
	std::vector<ColumnRecord> columns;
	columns.swap(g_index.columns); /* give the memory back, not just the records */
	g_index = CoverIndex();
	return 0;
}
