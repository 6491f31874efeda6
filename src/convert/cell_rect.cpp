#include "convert/cell_rect.h"

#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "shell/notice.h"

CellRect *g_cellRectHead = nullptr;

/* The list is the record of what is covered. Walking it at every pixel
 * would cost time in proportion to the cells begun, so while the calls
 * come in the conversion's order the answers come from the deepest bottom
 * over each column instead:
 *
 * - Each new rectangle starts below every earlier one over its columns,
 *   and no row is asked above the newest top; a pixel is then covered
 *   exactly when the deepest rectangle over its column reaches its row.
 * - At the first pruning call of each row, every rectangle but the head
 *   that ends above that row leaves the list: the walks would free them
 *   sooner or later, and none of them can hold a pixel of this row or a
 *   later one. Their nodes serve the next rectangles added.
 *
 * Anything else (rectangles out of that order, a row asked above the newest
 * top or above an earlier pruning row, a list changed by anyone but
 * AddCellRect) turns the index off until the list is cleared, and the list
 * is walked as it stands. */

namespace {

constexpr int32_t NO_BOTTOM = std::numeric_limits<int32_t>::min();
constexpr int64_t NO_SHORTCUT = std::numeric_limits<int64_t>::max();

struct CoverIndex {
	bool on = true;
	const CellRect *head = nullptr; /* the head as AddCellRect left it */
	int32_t newestTop = NO_BOTTOM;
	int32_t sweptRow = NO_BOTTOM;
	std::vector<int32_t> bottoms; /* per column: the deepest bottom over it */
	CellRect *spare = nullptr;    /* swept nodes, kept for the next rectangles */
};

CoverIndex g_index;

} // namespace

CellRectShortcut g_cellRectShortcut = {nullptr, NO_BOTTOM, nullptr, 0};

/* The shortcut holds for the swept row and below once no rectangle starts
 * lower down. */
static void
UpdateShortcut(void)
{
	const CoverIndex &index = g_index;
	CellRectShortcut &s = g_cellRectShortcut;
	s.head = index.head;
	s.row = index.on && index.newestTop <= index.sweptRow ? index.sweptRow : NO_SHORTCUT;
	s.bottoms = index.bottoms.data();
	s.columns = index.bottoms.size();
}

static void
ShowOutOfMemory(void)
{
	/* Shown as it stands: formatting might itself need memory. */
	ShowMessageBox(nullptr, "記憶領域の獲得に失敗", APP_TITLE, MB_ICONERROR);
}

/* Whether the index may take the rectangle; false turns it off. Throws
 * std::bad_alloc when the columns cannot grow. */
static bool
IndexTakes(int32_t left, int32_t right, int32_t top, int32_t bottom)
{
	CoverIndex &index = g_index;
	if (g_cellRectHead != index.head || left < 0 || right < left || bottom < top || top < index.sweptRow)
		return false;
	if (size_t(right) >= index.bottoms.size())
		index.bottoms.resize(size_t(right) + 1, NO_BOTTOM);
	const int32_t *bottoms = index.bottoms.data();
	for (int32_t c = left; c <= right; c++)
		if (bottoms[c] >= top) /* not below an earlier rectangle */
			return false;
	return true;
}

/* Records the rectangle of the new head node in the index, or turns the
 * index off; false when the columns could not grow. */
static bool
Index(const CellRect *node, int32_t left, int32_t right, int32_t top, int32_t bottom)
{
	CoverIndex &index = g_index;
	CellRectShortcut &s = g_cellRectShortcut;
	int32_t *const bottoms = index.bottoms.data();
	/* The conversion's rectangle: in the swept row, within the columns known. */
	if (top == s.row && g_cellRectHead == s.head && 0 <= left && left <= right && size_t(right) < s.columns &&
	    top <= bottom) {
		for (int32_t c = left; c <= right; c++) {
			if (bottoms[c] >= top) {
				index.on = false; /* over an earlier rectangle */
				UpdateShortcut();
				return true;
			}
			bottoms[c] = bottom;
		}
		index.newestTop = top; /* it was at most the swept row */
		index.head = s.head = node;
		return true;
	}
	try {
		index.on = IndexTakes(left, right, top, bottom);
	} catch (const std::bad_alloc &) {
		return false;
	}
	if (index.on) {
		for (int32_t c = left; c <= right; c++)
			index.bottoms[size_t(c)] = bottom;
		if (top > index.newestTop)
			index.newestTop = top;
		index.head = node;
	}
	UpdateShortcut();
	return true;
}

int
AddCellRect(int32_t left, int32_t right, int32_t top, int32_t bottom)
{
	CoverIndex &index = g_index;
	/* A node the sweep gave back saves a trip to the heap and back. */
	CellRect *node = index.spare;
	if (node)
		index.spare = node->next;
	else if (!(node = static_cast<CellRect *>(std::malloc(sizeof *node)))) {
		ShowOutOfMemory();
		return -1;
	}
	if (index.on && !Index(node, left, right, top, bottom)) {
		/* Walking instead would turn the scan quadratic without a word. */
		std::free(node);
		ShowOutOfMemory();
		return -1;
	}
	*node = CellRect{left, right, top, bottom, g_cellRectHead};
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

/* Takes every rectangle but the head that ends above row y off the list.
 * Finished rectangles come in runs (a row's cells, one after another), and
 * a run goes to the spare nodes whole, linked as it is. */
static void
SweepFinished(int32_t y)
{
	CellRect *kept = g_cellRectHead;
	while (CellRect *node = kept->next) {
		if (node->bottom >= y) {
			kept = node;
			continue;
		}
		CellRect *last = node;
		while (last->next && last->next->bottom < y)
			last = last->next;
		kept->next = last->next;
		last->next = g_index.spare;
		g_index.spare = node;
	}
}

int
AskCellRects(int32_t x, int32_t y, int prune)
{
	CoverIndex &index = g_index;
	if (index.on && (g_cellRectHead != index.head || y < index.newestTop || y < index.sweptRow)) {
		index.on = false;
		UpdateShortcut();
	}
	if (!index.on)
		return WalkCellRects(x, y, prune);
	if (!g_cellRectHead)
		return 0;
	if (prune && y > index.sweptRow) {
		SweepFinished(y);
		index.sweptRow = y;
		UpdateShortcut();
	}
	return size_t(x) < index.bottoms.size() && index.bottoms[size_t(x)] >= y;
}

int
ClearCellRects(void)
{
	while (g_cellRectHead) {
		CellRect *next = g_cellRectHead->next;
		std::free(g_cellRectHead);
		g_cellRectHead = next;
	}
	while (CellRect *node = g_index.spare) {
		g_index.spare = node->next;
		std::free(node);
	}
	std::vector<int32_t> bottoms;
	bottoms.swap(g_index.bottoms); /* give the memory back, not just the records */
	g_index = CoverIndex();
	UpdateShortcut();
	return 0;
}
