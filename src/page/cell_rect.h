#ifndef TILERY_PAGE_CELL_RECT_H
#define TILERY_PAGE_CELL_RECT_H

#include <cstddef>
#include <cstdint>

/* The pixels that cells already written occupy, as a list of rectangles
 * (bounds inclusive), newest first. One conversion at a time uses it and
 * empties it when it ends.
 *
 * While the calls come in the conversion's order, a pixel is covered
 * exactly when the deepest rectangle over its column reaches its row;
 * anything else walks the list as it then stands. The conversion's order:
 * no row asked above a rectangle's top or above a row asked with pruning,
 * rectangles within the picture width cap, and the list changed by these
 * calls alone. */
struct CellRect {
	int32_t left;
	int32_t right;
	int32_t top;
	int32_t bottom;
	CellRect *next;
};

extern CellRect *g_cellRectHead;

/* 0 when the rectangle was added; -1, after telling the user, when memory
 * ran out (the list is then as it was). */
int AddCellRect(int32_t left, int32_t right, int32_t top, int32_t bottom);

/* 1 when pixel (x, y) lies in a rectangle of the list, else 0. With prune
 * set, rectangles other than the head that end above row y are freed: all
 * of them at a row's first question in the conversion's order, else those
 * the walk passes. */
inline int IsCellCovered(int32_t x, int32_t y, int prune);

int ClearCellRects(void);

/* The conversion asks once a pixel: answered inline, a flat 1024x1024 logo
 * took 4.3 ms against 7.0 through a call. What it reads, kept by
 * cell_rect.cpp alone: */
struct CoveredColumns {
	int32_t *bottoms; /* per column, the deepest bottom over it */
	size_t columns;
	const CellRect *head; /* the head as AddCellRect left it */
	int64_t fromRow;      /* the first row answered; past every row once out of order */
	int32_t sweptRow;     /* the last row asked with pruning */
};
extern CoveredColumns g_coveredColumns;

/* A question out of the conversion's order, or a row's first with pruning. */
int AskCellRects(int32_t x, int32_t y, int prune);

inline int
IsCellCovered(int32_t x, int32_t y, int prune)
{
	const CoveredColumns &c = g_coveredColumns;
	if (y < c.fromRow || g_cellRectHead != c.head || (prune && y > c.sweptRow))
		return AskCellRects(x, y, prune);
	return size_t(x) < c.columns && c.bottoms[x] >= y; /* a negative x wraps past the end */
}

#endif
