#ifndef TILERY_CONVERT_CELL_RECT_H
#define TILERY_CONVERT_CELL_RECT_H

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
int IsCellCovered(int32_t x, int32_t y, int prune);

int ClearCellRects(void);

#endif
