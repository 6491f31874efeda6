#include "convert/pixel_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <vector>

#include "convert/bmp_reader.h"

/* Non-blocking open so that a FIFO or device cannot hang the program; only
 * regular files are read. */
static bool
ReadWholeFile(const char *path, std::vector<unsigned char> *contents)
{
	int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0)
		return false;
	struct stat st;
	bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= PICTURE_MAX_FILE_SIZE;
	if (ok) {
		try {
			contents->resize(size_t(st.st_size));
		} catch (const std::bad_alloc &) {
			ok = false;
		}
	}
	size_t done = 0;
	while (ok && done < contents->size()) {
		ssize_t n = read(fd, contents->data() + done, contents->size() - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0)
			ok = false;
		else if (n == 0)
			contents->resize(done); /* the file shrank while being read */
		else
			done += size_t(n);
	}
	close(fd);
	return ok;
}

Bitmap *
LoadBitmapFile(const char *path)
{
	std::vector<unsigned char> contents;
	if (!ReadWholeFile(path, &contents))
		return nullptr;
	Bitmap *bitmap = new (std::nothrow) Bitmap;
	if (bitmap && DecodeBmp(contents.data(), contents.size(), bitmap) != nullptr) {
		delete bitmap;
		bitmap = nullptr;
	}
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
	context->selected = nullptr;
	return 0;
}

void
DeletePixelContext(PixelContext *context)
{
	context->selected = nullptr;
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
	context->selected = bitmap;
	return previous;
}
