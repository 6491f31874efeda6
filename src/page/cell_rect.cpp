#include "page/cell_rect.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <new>

#include "picture/picture.h"
#include "system/notice.h"

constexpr int32_t NO_ROW = std::numeric_limits<int32_t>::min();
constexpr int64_t NEVER = std::numeric_limits<int64_t>::max();

CellRect *g_cellRectHead = nullptr;
CoveredColumns g_coveredColumns = {nullptr, 0, nullptr, NO_ROW, NO_ROW};

/* Swept nodes, kept for the next rectangles: a trip to the heap and back
 * for every cell made a noisy picture's conversion half as long again. */
static CellRect *g_spare;

static void
ShowOutOfMemory(void)
{
	/* Shown as it stands: formatting might itself need memory. */
	ShowMessageBox(nullptr, "記憶領域の獲得に失敗", APP_TITLE, MB_ICONERROR);
}

/* Room for the bottoms of columns up to `column`, within the width cap. */
static bool
CoverColumn(size_t column)
{
	CoveredColumns &c = g_coveredColumns;
	const size_t columns = std::min(std::max(column + 1, 2 * c.columns), size_t(GetPictureLimits().maxWidth));
	auto *grown = new (std::nothrow) int32_t[columns];
	if (!grown)
		return false;
	std::copy(c.bottoms, c.bottoms + c.columns, grown);
	std::fill(grown + c.columns, grown + columns, NO_ROW);
	delete[] c.bottoms;
	c.bottoms = grown;
	c.columns = columns;
	return true;
}

int
AddCellRect(int32_t left, int32_t right, int32_t top, int32_t bottom)
{
	CoveredColumns &c = g_coveredColumns;
	CellRect *node = g_spare;
	if (node)
		g_spare = node->next;
	else if (!(node = static_cast<CellRect *>(std::malloc(sizeof *node)))) {
		ShowOutOfMemory();
		return -1;
	}
	if (c.fromRow != NEVER && g_cellRectHead == c.head && 0 <= left && left <= right && top <= bottom &&
	    right < GetPictureLimits().maxWidth) {
		if (size_t(right) >= c.columns && !CoverColumn(size_t(right))) {
			/* Walking instead would turn the scan quadratic without a word. */
			std::free(node);
			ShowOutOfMemory();
			return -1;
		}
		for (int32_t x = left; x <= right; x++)
			c.bottoms[x] = std::max(c.bottoms[x], bottom);
		c.fromRow = std::max<int64_t>(c.fromRow, top);
	} else {
		c.fromRow = NEVER;
	}
	*node = CellRect{left, right, top, bottom, g_cellRectHead};
	g_cellRectHead = node;
	c.head = node;
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

/* Takes every rectangle but the head that ends above row y off the list. */
static void
SweepFinished(int32_t y)
{
	for (CellRect *kept = g_cellRectHead; kept && kept->next;) {
		CellRect *node = kept->next;
		if (node->bottom < y) {
			kept->next = node->next;
			node->next = g_spare;
			g_spare = node;
		} else {
			kept = node;
		}
	}
}

int
AskCellRects(int32_t x, int32_t y, int prune)
{
	CoveredColumns &c = g_coveredColumns;
	if (y < c.fromRow || g_cellRectHead != c.head) {
		c.fromRow = NEVER;
		return WalkCellRects(x, y, prune);
	}
	SweepFinished(y);
	c.sweptRow = y;
	c.fromRow = y;
	return IsCellCovered(x, y, prune);
}

int
ClearCellRects(void)
{
	for (CellRect **list : {&g_cellRectHead, &g_spare})
		while (CellRect *node = *list) {
			*list = node->next;
			std::free(node);
		}
	delete[] g_coveredColumns.bottoms;
	g_coveredColumns = CoveredColumns{nullptr, 0, nullptr, NO_ROW, NO_ROW};
	return 0;
}
