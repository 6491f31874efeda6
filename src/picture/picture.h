#ifndef TILERY_PICTURE_PICTURE_H
#define TILERY_PICTURE_PICTURE_H

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

/* The largest picture accepted, whatever its format, and the largest file
 * read for one. Every reader and the conversion hold pictures to these; a
 * program sets them once, before decoding anything. */
struct PictureLimits {
	int64_t maxPixels;
	int64_t maxWidth;
	int64_t maxFileSize;
};

/* 2^28 pixels, 1 GiB once decoded, at most 65536 wide: no browser lays out
 * a table of more columns, and the scan keeps a record per column. A file
 * may hold a picture at the cap, 32 bits a pixel, with room for headers
 * and a full palette; a larger one cannot be one that is accepted. */
constexpr PictureLimits DEFAULT_PICTURE_LIMITS = {int64_t(1) << 28, int64_t(1) << 16, (int64_t(1) << 30) + 4096};

/* 0 when the limits were taken; -1, the limits as they were, when one is
 * not positive or the pixels or width do not fit a signed 32-bit count. */
int SetPictureLimits(const PictureLimits &limits);
const PictureLimits &GetPictureLimits(void);

/* Memory for pixels. A picture of 2 MiB or more takes whole 2 MiB pages
 * that the system is asked to back with huge pages: its first writes then
 * fault twice a page, not 512 times. */
void *AllocatePixelMemory(size_t bytes);
void FreePixelMemory(void *memory, size_t bytes);

template <class T>
struct PixelAllocator {
	using value_type = T;
	PixelAllocator() = default;
	template <class U>
	PixelAllocator(const PixelAllocator<U> &)
	{
	}
	T *allocate(size_t count) { return static_cast<T *>(AllocatePixelMemory(count * sizeof(T))); }
	void deallocate(T *memory, size_t count) { FreePixelMemory(memory, count * sizeof(T)); }
	/* Made without a value: memory no row of the picture reaches is never
	 * touched, so that a small file that claims a huge picture costs no
	 * more than it holds. Every reader writes each pixel it accepts. */
	template <class U>
	void construct(U *place) noexcept
	{
		::new (static_cast<void *>(place)) U;
	}
	template <class U, class... Arguments>
	void construct(U *place, Arguments &&...arguments)
	{
		::new (static_cast<void *>(place)) U(std::forward<Arguments>(arguments)...);
	}
};

template <class T, class U>
bool
operator==(const PixelAllocator<T> &, const PixelAllocator<U> &)
{
	return true;
}

template <class T, class U>
bool
operator!=(const PixelAllocator<T> &, const PixelAllocator<U> &)
{
	return false;
}

using Pixels = std::vector<uint32_t, PixelAllocator<uint32_t>>;

/* Colours are packed red in bits 0-7, green in 8-15, blue in 16-23; the
 * first pixel is the top-left one, rows follow each other top to bottom. */
struct DecodedPicture {
	int32_t width = 0;
	int32_t height = 0;
	Pixels pixels;
};

/* Where a picture file's bytes come from: memory, or an open file read
 * piece by piece, so that a large picture is not held twice. */
struct PictureSource {
	uint64_t size;
	const unsigned char *data; /* null: read from fd, an OpenPictureFile */
	int fd;
};

/* Copies length bytes at offset; false when the file ends first. Tells
 * the conversion's progress hook, so that a long read leaves no window
 * unpainted. */
bool ReadPictureBytes(const PictureSource &source, uint64_t offset, size_t length, unsigned char *to);

/* A source read front to back, as the decoding libraries ask for it. */
struct PictureStream {
	const PictureSource *source;
	uint64_t offset;
};

/* Copies the next length bytes, or as many as are left when `partial` is
 * set; returns how many were copied (0 when the file ends first). */
size_t ReadPictureStream(PictureStream *stream, size_t length, unsigned char *to, bool partial);

/* Decodes a picture recognised by its first bytes: BMP, PNG, GIF, JPEG,
 * WebP, or a netpbm PBM, PGM or PPM, in a file no larger than the limit. Returns null
 * on success, or a short English reason why the file was refused, leaving
 * picture as it was. */
const char *DecodePicture(const PictureSource &source, DecodedPicture *picture);

/* The readers behind it, one per format. */
const char *DecodeBmpPicture(const PictureSource &source, DecodedPicture *picture);
const char *DecodePngPicture(const PictureSource &source, DecodedPicture *picture);
const char *DecodeGifPicture(const PictureSource &source, DecodedPicture *picture);
const char *DecodeJpegPicture(const PictureSource &source, DecodedPicture *picture);
const char *DecodeWebpPicture(const PictureSource &source, DecodedPicture *picture);
const char *DecodePnmPicture(const PictureSource &source, DecodedPicture *picture);

/* Whether a picture of these dimensions is within the limits. */
inline bool
IsPictureSizeAccepted(int64_t width, int64_t height)
{
	const PictureLimits &limits = GetPictureLimits();
	return width > 0 && height > 0 && width <= limits.maxWidth && height <= limits.maxPixels &&
	       width * height <= limits.maxPixels;
}

inline uint32_t
PackColor(uint32_t red, uint32_t green, uint32_t blue)
{
	return red | green << 8 | blue << 16;
}

/* What transparency is laid over: a colour, white (the page's usual
 * background) unless a program sets another before decoding. Where
 * keepClear is set, fully transparent pixels stay so instead, as
 * CLEAR_PIXEL, which no colour equals. */
struct PictureBackground {
	uint32_t color;
	bool keepClear;
};
constexpr uint32_t CLEAR_PIXEL = uint32_t(1) << 24;
constexpr PictureBackground DEFAULT_PICTURE_BACKGROUND = {0xFFFFFF, false};
void SetPictureBackground(const PictureBackground &background);
const PictureBackground &GetPictureBackground(void);

/* A fully transparent pixel, as decoded. */
inline uint32_t
ClearPixel(void)
{
	const PictureBackground &background = GetPictureBackground();
	return background.keepClear ? CLEAR_PIXEL : background.color;
}

/* A channel of opacity alpha laid over one of the background, rounded. */
inline uint32_t
Over(uint32_t channel, uint32_t alpha, uint32_t under)
{
	return (channel * alpha + under * (255 - alpha) + 127) / 255;
}

/* Pixels decoded as RGBA bytes (red first, alpha last) become packed
 * colours, laid over the background. */
void LayRgbaOverBackground(Pixels *pixels);

#endif
