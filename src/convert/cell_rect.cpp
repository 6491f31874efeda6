#include "convert/cell_rect.h"

#include <cstdlib>

#include "shell/notice.h"

CellRect *g_cellRectHead = nullptr;

int
AddCellRect(int32_t left, int32_t right, int32_t top, int32_t bottom)
{
	CellRect *node = static_cast<CellRect *>(std::malloc(sizeof *node));
	if (!node) {
		/* Shown as it stands: formatting might itself need memory. */
		ShowMessageBox(nullptr, "記憶領域の獲得に失敗", APP_TITLE, MB_ICONERROR);
		return -1;
	}
	node->left = left;
	node->right = right;
	node->top = top;
	node->bottom = bottom;
	node->next = g_cellRectHead;
	g_cellRectHead = node;
	return 0;
}

int
IsCellCovered(int32_t x, int32_t y, int prune)
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
ClearCellRects(void)
{
	while (g_cellRectHead) {
		CellRect *next = g_cellRectHead->next;
		std::free(g_cellRectHead);
		g_cellRectHead = next;
	}
	return 0;
}
