#include "picture/pixel_source.h"

#include <new>

#include "picture/picture.h"
#include "picture/picture_file.h"

Bitmap *
LoadBitmapFile(const char *path)
{
	uint64_t size;
	const int file = OpenPictureFile(path, &size);
	if (file < 0)
		return nullptr;
	Bitmap *bitmap = new (std::nothrow) Bitmap;
	if (bitmap && DecodePicture(PictureSource{size, nullptr, file}, bitmap) != nullptr) {
		delete bitmap;
		bitmap = nullptr;
	}
	ClosePictureFile(file);
	return bitmap;
}

void
DeleteBitmap(Bitmap *bitmap)
{
	delete bitmap;
}

/* Reading pixels needs nothing from the system, so making a context
 * cannot fail here; the code path stays so that callers handle it. */
int
CreatePixelContext(PixelContext *context)
{
	*context = PixelContext{nullptr, nullptr, 0};
	return 0;
}

void
DeletePixelContext(PixelContext *context)
{
	*context = PixelContext{nullptr, nullptr, 0};
}

void
MeasureBitmap(const Bitmap *bitmap, int32_t *width, int32_t *height)
{
	*width = bitmap->width;
	*height = bitmap->height;
}

const Bitmap *
SelectBitmap(PixelContext *context, const Bitmap *bitmap)
{
	const Bitmap *previous = context->selected;
	*context = bitmap ? PixelContext{bitmap, bitmap->pixels.data(), size_t(bitmap->width)}
	                  : PixelContext{nullptr, nullptr, 0};
	return previous;
}
