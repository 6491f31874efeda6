#ifndef TILERY_CONVERT_CONVERT_H
#define TILERY_CONVERT_CONVERT_H

#include <cstdint>

#include "page/page_text.h"
#include "reduce/reduce.h"
#include "system/progress.h"

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
 *     width. Its lines are short (page_text.h).
 *   fragment: the table alone, no document around it (implies noCss).
 *   forEditor: the fragment is to be pasted into a mail editor: its budget
 *     counts its bytes as the editor keeps them (page_text.h).
 *   background: the colour transparency is laid over (0x00BBGGRR, packed
 *     as the pictures' colours are); keepClear: fully transparent pixels
 *     become cells without bgcolor instead, merged like any colour.
 *   width (0: none): the table at most this many screen pixels wide: the
 *     cell size lowered to one that fits, or, where none does, the picture
 *     made that many pixels wide by area averaging and drawn at cell size
 *     1, its height following. The reduction and the budget then apply to
 *     the picture so drawn.
 *   reduction: the picture made cheaper to draw (reduce.h); its scale's
 *     cells are as large, so that the page's drawn size stays, the last
 *     column and row what is left. Implies noCss.
 *   maxBytes (0: none): the page is at most this many bytes (a fragment's
 *     counted as sent in a mail, or as pasted: CountOf), by the reduction
 *     that fits with the least loss: the grid, and on it the rectangles or
 *     the tolerance, are chosen, unless the reduction fixes them (a scale,
 *     colours or a tolerance other than the least).
 *   alt: without CSS, the table's text for screen readers (UTF-8), which
 *     then take it for one picture; null or empty: it is decoration.
 *   message: the fragment in a mail message ready to send (message.h),
 *     with its subject (null: the picture's file name), from and to (null:
 *     left out); pictureName names the picture in its text (null: the
 *     input's file name; empty: none). Its budget counts the whole file. */
struct PageOptions {
	bool noCss;
	bool fragment;
	bool forEditor;
	uint32_t background;
	bool keepClear;
	long long width;
	Reduction reduction;
	long long maxBytes;
	const char *alt;
	bool message;
	const char *subject, *from, *to, *pictureName;
};
constexpr PageOptions DEFAULT_PAGE_OPTIONS = {false,   false, false, 0xFFFFFF, false,   0,       NO_REDUCTION,
                                              0,       nullptr, false, nullptr, nullptr, nullptr, nullptr};

/* Gmail clips a message past about this many bytes, as is widely
 * reported; Google documents no figure. A mail's usual layout is this
 * many pixels wide. */
enum : long long { MAIL_CLIP_BYTES = 102000, MAIL_WIDTH = 600 };

/* How the options count a page's bytes: a fragment's as sent in a mail,
 * or as pasted into a mail editor. */
inline ByteCount
CountOf(const PageOptions &options)
{
	return options.message ? AS_SENT : options.forEditor ? AS_PASTED : options.fragment ? AS_SENT : AS_WRITTEN;
}

/* Whether the options make the picture cheaper to draw, by hand or to fit. */
inline bool
IsReducing(const PageOptions &options)
{
	const Reduction &r = options.reduction;
	return options.maxBytes > 0 || r.scale > 1 || r.colours > 0 || r.tolerance > 0;
}

/* What a page came to: its cells and bytes, as written, as sent in a mail
 * and as pasted into a mail editor (a fragment's, page_text.h; else the
 * same); the picture as read and as drawn (its pixels and the cell size,
 * after the width asked for); the reduction made and its loss against the
 * exact page of the picture as drawn (infinite for none); and whether any
 * pixel was kept clear. */
struct PageTotals {
	long long cells;
	long long bytes, bytesSent, bytesPasted;
	int32_t readWidth, readHeight;
	int32_t width, height;
	int cellSize;
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
