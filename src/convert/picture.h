#ifndef TILERY_CONVERT_PICTURE_H
#define TILERY_CONVERT_PICTURE_H

#include <cstddef>
#include <cstdint>
#include <vector>

/* The largest picture accepted, whatever its format: 2^28 pixels, 1 GiB
 * once decoded, and at most 65536 pixels wide. No browser lays out a table
 * of more columns, and the scan keeps a record per column and a cell per
 * pixel of a row. */
constexpr int64_t PICTURE_MAX_PIXELS = int64_t(1) << 28;
constexpr int64_t PICTURE_MAX_WIDTH = int64_t(1) << 16;

/* Colours are packed red in bits 0-7, green in 8-15, blue in 16-23; the
 * first pixel is the top-left one, rows follow each other top to bottom. */
struct DecodedPicture {
	int32_t width = 0;
	int32_t height = 0;
	std::vector<uint32_t> pixels;
};

/* Where a picture file's bytes come from: memory, or an open file read
 * piece by piece, so that a large picture is not held twice. */
struct PictureSource {
	uint64_t size;
	const unsigned char *data; /* null: read from fd */
	int fd;
};

/* Copies length bytes at offset; false when the file ends first. */
bool ReadPictureBytes(const PictureSource &source, uint64_t offset, size_t length, unsigned char *to);

/* A source read front to back, as the decoding libraries ask for it. */
struct PictureStream {
	const PictureSource *source;
	uint64_t offset;
};

/* Copies the next length bytes, or as many as are left when `partial` is
 * set; returns how many were copied (0 when the file ends first). */
size_t ReadPictureStream(PictureStream *stream, size_t length, unsigned char *to, bool partial);

/* Decodes a picture recognised by its first bytes: BMP, PNG, GIF, or a
 * netpbm PBM, PGM or PPM. Returns null on success, or a short English
 * reason why the file was refused, leaving picture as it was. */
const char *DecodePicture(const PictureSource &source, DecodedPicture *picture);

/* The readers behind it, one per format. */
const char *DecodeBmpPicture(const PictureSource &source, DecodedPicture *picture);
const char *DecodePngPicture(const PictureSource &source, DecodedPicture *picture);
const char *DecodeGifPicture(const PictureSource &source, DecodedPicture *picture);
const char *DecodePnmPicture(const PictureSource &source, DecodedPicture *picture);

/* Whether a picture of these dimensions is within the limits. */
inline bool
IsPictureSizeAccepted(int64_t width, int64_t height)
{
	return width > 0 && height > 0 && width <= PICTURE_MAX_WIDTH && height <= PICTURE_MAX_PIXELS &&
	       width * height <= PICTURE_MAX_PIXELS;
}

inline uint32_t
PackColor(uint32_t red, uint32_t green, uint32_t blue)
{
	return red | green << 8 | blue << 16;
}

/* A channel of opacity alpha laid over the white page, rounded. */
inline uint32_t
OverWhite(uint32_t channel, uint32_t alpha)
{
	return (channel * alpha + 255 * (255 - alpha) + 127) / 255;
}

#endif
