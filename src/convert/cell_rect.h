#ifndef TILERY_CONVERT_CELL_RECT_H
#define TILERY_CONVERT_CELL_RECT_H

#include <cstddef>
#include <cstdint>

/* The pixels that cells already written occupy, as a list of rectangles
 * (bounds inclusive), newest first. One conversion at a time uses it and
 * empties it when it ends. */
struct CellRect {
	int32_t left;
	int32_t right;
	int32_t top;
	int32_t bottom;
	CellRect *next;
};

extern CellRect *g_cellRectHead;

/* 0 when the rectangle was added; -1, after telling the user, when memory ran out. */
int AddCellRect(int32_t left, int32_t right, int32_t top, int32_t bottom);

/* 1 when pixel (x, y) lies in a rectangle of the list, else 0. With prune
 * set, rectangles passed on the way that end above row y are freed. */
inline int IsCellCovered(int32_t x, int32_t y, int prune);

int ClearCellRects(void);

/* The conversion asks once a pixel, so its common question is answered
 * inline: while the list is built and asked in the conversion's order, a
 * pixel of row `row`, or of a row below when not pruning, is covered
 * exactly when the deepest rectangle over its column reaches it. Kept by
 * cell_rect.cpp alone. */
struct CellRectShortcut {
	const CellRect *head; /* the head as AddCellRect left it */
	int64_t row;          /* past every row while there is no shortcut */
	const int32_t *bottoms;
	size_t columns;
};
extern CellRectShortcut g_cellRectShortcut;

/* Every other question. */
int AskCellRects(int32_t x, int32_t y, int prune);

inline int
IsCellCovered(int32_t x, int32_t y, int prune)
{
	const CellRectShortcut &s = g_cellRectShortcut;
	if ((prune ? y == s.row : y >= s.row) && g_cellRectHead == s.head)
		return size_t(x) < s.columns && s.bottoms[size_t(x)] >= y; /* a negative x wraps past the end */
	return AskCellRects(x, y, prune);
}

#endif
