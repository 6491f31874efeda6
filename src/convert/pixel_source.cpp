#include "convert/pixel_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <vector>

#include "convert/picture.h"

/* Non-blocking open so that a FIFO or device cannot hang the program; only
 * regular files are read. */
Bitmap *
LoadBitmapFile(const char *path)
{
	const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0)
		return nullptr;
	struct stat st;
	Bitmap *bitmap = nullptr;
	if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
		bitmap = new (std::nothrow) Bitmap;
		if (bitmap && DecodePicture(PictureSource{uint64_t(st.st_size), nullptr, fd}, bitmap) != nullptr) {
			delete bitmap;
			bitmap = nullptr;
		}
	}
	close(fd);
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
