#ifndef TILERY_PICTURE_PIXEL_SOURCE_H
#define TILERY_PICTURE_PIXEL_SOURCE_H

#include <cstdint>

#include "picture/picture.h"

/* Picture access for the conversion, in the order it is used: load a
 * bitmap file, make a context to read pixels through, measure, select
 * the bitmap into the context, read pixels, release. */

using Bitmap = DecodedPicture;

/* The selected bitmap's pixels are kept at hand: a context copied into a
 * local variable reads them without going back to the bitmap. */
struct PixelContext {
	const Bitmap *selected;
	const uint32_t *pixels;
	size_t width;
};

/* Decodes the whole file; null when it is missing, unreadable, not a
 * regular file, or not a BMP picture this program accepts. */
Bitmap *LoadBitmapFile(const char *path);
void DeleteBitmap(Bitmap *bitmap);

/* 0, or the error code that kept the context from being made. */
int CreatePixelContext(PixelContext *context);
void DeletePixelContext(PixelContext *context);

void MeasureBitmap(const Bitmap *bitmap, int32_t *width, int32_t *height);

/* Returns the bitmap selected before. */
const Bitmap *SelectBitmap(PixelContext *context, const Bitmap *bitmap);

/* (x, y) must lie inside the selected bitmap. */
inline uint32_t
GetPixelColor(const PixelContext *context, int32_t x, int32_t y)
{
	return context->pixels[size_t(y) * context->width + size_t(x)];
}

#endif
