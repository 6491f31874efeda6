/* PNG through libspng: every colour type and bit depth, interlaced or not,
 * decoded to 8-bit RGBA (16-bit channels keep their high byte) and laid
 * over the background. Gamma, sRGB and ICC chunks are ignored: the colour is the
 * stored one. */
#include <spng.h>

#include <cstring>
#include <new>

#include "picture/picture.h"

/* Limits set before decoding: no ancillary chunk may take more than this,
 * nor all of them together. The image data itself is bounded by the size
 * cap, since it decodes into exactly the picture's pixels. */
enum : size_t {
	PNG_MAX_CHUNK_SIZE = size_t(1) << 24,
	PNG_MAX_CHUNK_CACHE = size_t(1) << 26,
};

static int
ReadStream(spng_ctx *, void *user, void *to, size_t length)
{
	auto *stream = static_cast<PictureStream *>(user);
	return length == 0 || ReadPictureStream(stream, length, static_cast<unsigned char *>(to), false) ? 0
	                                                                                                 : SPNG_IO_EOF;
}

/* The reader stops after the end mark's name; its check value must be
 * there too, or the file was cut short. */
static bool
EndMarkIsWhole(const PictureStream &reader)
{
	static const unsigned char END[8] = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
	unsigned char seen[8];
	if (reader.offset < 4 || !ReadPictureBytes(*reader.source, reader.offset - 4, 4, seen))
		return false;
	if (std::memcmp(seen, END, 4) != 0)
		return true; /* the check value was read with the chunk */
	return ReadPictureBytes(*reader.source, reader.offset, 4, seen + 4) && std::memcmp(seen, END, 8) == 0;
}

static const char *
Decode(spng_ctx *png, const PictureStream &reader, DecodedPicture *picture)
{
	struct spng_ihdr header;
	if (spng_get_ihdr(png, &header) != 0)
		return "not a PNG picture that can be read";
	if (!IsPictureSizeAccepted(header.width, header.height))
		return "picture larger than the size cap";
	size_t bytes;
	if (spng_decoded_image_size(png, SPNG_FMT_RGBA8, &bytes) != 0 ||
	    bytes != size_t(header.width) * size_t(header.height) * 4)
		return "PNG picture of an unexpected size";

	Pixels pixels;
	try {
		pixels.resize(size_t(header.width) * size_t(header.height));
	} catch (const std::bad_alloc &) {
		return "out of memory for the pixels";
	}
	/* The chunks after the image, to the end mark: a file cut short after
	 * its pixels is cut short all the same. */
	if (spng_decode_image(png, pixels.data(), bytes, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0 ||
	    spng_decode_chunks(png) != 0 || !EndMarkIsWhole(reader))
		return "PNG data broken or cut short";
	LayRgbaOverBackground(&pixels);
	picture->width = int32_t(header.width);
	picture->height = int32_t(header.height);
	picture->pixels.swap(pixels);
	return nullptr;
}

const char *
DecodePngPicture(const PictureSource &source, DecodedPicture *picture)
{
	spng_ctx *png = spng_ctx_new(0);
	if (!png)
		return "out of memory for the PNG reader";
	PictureStream reader{&source, 0};
	const char *why = nullptr;
	const PictureLimits &limits = GetPictureLimits();
	if (spng_set_image_limits(png, uint32_t(limits.maxWidth), uint32_t(limits.maxPixels)) != 0 ||
	    spng_set_chunk_limits(png, PNG_MAX_CHUNK_SIZE, PNG_MAX_CHUNK_CACHE) != 0 ||
	    spng_set_crc_action(png, SPNG_CRC_ERROR, SPNG_CRC_DISCARD) != 0 ||
	    spng_set_png_stream(png, ReadStream, &reader) != 0)
		why = "PNG reader could not be set up";
	else
		why = Decode(png, reader, picture);
	spng_ctx_free(png);
	return why;
}
