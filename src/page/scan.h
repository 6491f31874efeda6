#ifndef TILERY_PAGE_SCAN_H
#define TILERY_PAGE_SCAN_H

#include "page/page_text.h"
#include "page/page_writer.h"
#include "picture/pixel_source.h"

/* The scan: the table's cells found on a grid of colours by the greedy
 * merge (each cell not yet covered starts one of its colour, grown right
 * as far as the colour runs, then down while its area does not shrink),
 * and written as they are found. Where the first cells size the table
 * (without CSS), those of the first row are one column wide and those of the
 * first column one row tall, so that every column and row has an
 * unspanned cell that carries its size. The covered-cell list is empty
 * again when either returns. */

/* The cells written, and (without CSS only) the = signs among them and
 * the line breaks put between them. */
struct ScanTotals {
	long long cells;
	long long equals;
	long long breaks;
};

/* How the cells are written: for the page with its STYLE; without CSS, in
 * the form and the short lines of page_text.h; or so, and spelt as
 * quoted-printable sends them (each = as =3D), for a message. */
enum CellText { CELLS_STYLED, CELLS_WITHOUT_CSS, CELLS_AS_SENT };

/* Writes the rows of the grid selected in the context into the page's
 * buffers, telling the progress hook after each row. Returns 0, or -1 when
 * a cell could not be recorded; that cell and its row's end are then not
 * written. */
int WriteCells(const PixelContext *context, const Grid &grid, CellText text, PageBuffer *out, ScanTotals *totals);

/* The bytes the rows of a grid's cells take in a page without CSS,
 * counted as asked (page_text.h), without writing them; -1 when memory
 * ran out. */
long long MeasureCells(const DecodedPicture &cells, const Grid &grid, ByteCount count);

#endif
