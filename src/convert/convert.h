#ifndef TILERY_CONVERT_CONVERT_H
#define TILERY_CONVERT_CONVERT_H

/* Writes to outputPath an HTML page whose one table redraws the BMP picture
 * at inputPath, each pixel a cellSize by cellSize block, runs of one colour
 * merged into cells with colspan and rowspan. Tells the user of its own
 * failures. Returns 0 when the page was written, 1 on a failure (nothing
 * written but what the notice says), -1 when memory ran out mid-way (the
 * page is closed off after the last cell written). */
int ConvertBitmapToTable(const char *inputPath, const char *outputPath, int cellSize);

/* Called at the end of every row of the scan with the rows done and the
 * rows in all, and as the picture is read with both 0, so that a caller
 * can keep its windows painted or show how far the conversion has got.
 * Installs hook (null: none) and returns the previous one. */
typedef void (*ConversionProgress)(long long rowsDone, long long rows);
ConversionProgress SetConversionProgress(ConversionProgress hook);

#endif
