#ifndef TILERY_CONVERT_CONVERT_H
#define TILERY_CONVERT_CONVERT_H

#include <cstdint>

#include "convert/progress.h"
#include "convert/reduce.h"

/* Writes to outputPath an HTML page whose one table redraws the picture
 * at inputPath, each pixel a cellSize by cellSize block, runs of one colour
 * merged into cells with colspan and rowspan. Tells the user of its own
 * failures. Returns 0 when the page was written, 1 on a failure (nothing
 * written but what the notice says), -1 when memory ran out mid-way (the
 * page is closed off after the last cell written). */
int ConvertBitmapToTable(const char *inputPath, const char *outputPath, int cellSize);

/* The page's other forms, for e-mail above all, whose clients drop CSS.
 *   noCss: no STYLE; the table draws exactly by HTML attributes alone: the
 *     first row's cells are one column wide, each with its width, the first
 *     column's one row tall, each with its height, and the table has its
 *     width.
 *   fragment: the table alone, no document around it (implies noCss).
 *   background: the colour transparency is laid over (0x00BBGGRR, packed
 *     as the pictures' colours are); keepClear: fully transparent pixels
 *     become cells without bgcolor instead, merged like any colour.
 *   reduction: the picture made cheaper to draw (reduce.h); its scale's
 *     cells are as large, so that the page's drawn size stays, the last
 *     column and row what is left. Implies noCss.
 *   maxBytes (0: none): the page is at most this many bytes, by the
 *     reduction that fits with the least loss: the grid, and on it the
 *     rectangles or the tolerance, are chosen, unless the reduction fixes
 *     them (a scale, colours or a tolerance other than the least). */
struct PageOptions {
	bool noCss;
	bool fragment;
	uint32_t background;
	bool keepClear;
	Reduction reduction;
	long long maxBytes;
};
constexpr PageOptions DEFAULT_PAGE_OPTIONS = {false, false, 0xFFFFFF, false, NO_REDUCTION, 0};

/* Whether the options make the picture cheaper to draw, by hand or to fit. */
inline bool
IsReducing(const PageOptions &options)
{
	const Reduction &r = options.reduction;
	return options.maxBytes > 0 || r.scale > 1 || r.colours > 0 || r.tolerance > 0;
}

/* What a page came to: its cells and bytes, the reduction made and its
 * loss against the exact page (infinite for none), and whether any pixel
 * was kept clear. */
struct PageTotals {
	long long cells;
	long long bytes;
	ReductionDone reduction;
	double psnr;
	bool clearKept;
};

/* ConvertBitmapToTable in the form options say; totals, if given, are set
 * when the page was written. A budget that no page meets is a failure,
 * told, and nothing is written. */
int ConvertPicture(const char *inputPath, const char *outputPath, int cellSize, const PageOptions &options,
                   PageTotals *totals);

#endif
