#ifndef TILERY_CONVERT_CONVERT_H
#define TILERY_CONVERT_CONVERT_H

#include "convert/progress.h"

/* Writes to outputPath an HTML page whose one table redraws the picture
 * at inputPath, each pixel a cellSize by cellSize block, runs of one colour
 * merged into cells with colspan and rowspan. Tells the user of its own
 * failures. Returns 0 when the page was written, 1 on a failure (nothing
 * written but what the notice says), -1 when memory ran out mid-way (the
 * page is closed off after the last cell written). */
int ConvertBitmapToTable(const char *inputPath, const char *outputPath, int cellSize);

#endif
