/* WebP through libwebp: lossy and lossless, decoded to 8-bit RGBA as the
 * file is read and laid over the background, as PNG is. Animated files are refused:
 * which frame would stand for them is anyone's guess. */
#include <webp/decode.h>

#include <new>

#include "picture/picture.h"

enum : size_t { WEBP_READ_SIZE = size_t(1) << 16 };

/* The features are known from the file's first bytes; the pixels land in
 * the picture's own memory, read 64 KiB at a time. */
static const char *
Decode(const PictureSource &source, unsigned char *buffer, WebPDecoderConfig *config, Pixels *pixels)
{
	PictureStream stream{&source, 0};
	size_t length = ReadPictureStream(&stream, WEBP_READ_SIZE, buffer, true);
	if (WebPGetFeatures(buffer, length, &config->input) != VP8_STATUS_OK)
		return "not a WebP picture that can be read";
	/* The library decodes some files cut short as if whole; the size the
	 * file gives itself tells. */
	const uint64_t riff = uint64_t(buffer[4]) | uint64_t(buffer[5]) << 8 | uint64_t(buffer[6]) << 16 |
	                      uint64_t(buffer[7]) << 24;
	if (riff + 8 > source.size)
		return "WebP file cut short";
	if (config->input.has_animation)
		return "animated WebP";
	const int64_t width = config->input.width, height = config->input.height;
	if (!IsPictureSizeAccepted(width, height))
		return "picture larger than the size cap";
	try {
		pixels->resize(size_t(width) * size_t(height));
	} catch (const std::bad_alloc &) {
		return "out of memory for the pixels";
	}
	WebPRGBABuffer &rgba = config->output.u.RGBA;
	config->output.colorspace = MODE_RGBA;
	config->output.is_external_memory = 1;
	rgba.rgba = reinterpret_cast<uint8_t *>(pixels->data());
	rgba.stride = int(width * 4);
	rgba.size = size_t(width) * size_t(height) * 4;
	WebPIDecoder *decoder = WebPIDecode(nullptr, 0, config);
	if (!decoder)
		return "out of memory for the WebP reader";
	VP8StatusCode status = VP8_STATUS_SUSPENDED;
	while (length > 0 && (status = WebPIAppend(decoder, buffer, length)) == VP8_STATUS_SUSPENDED)
		length = ReadPictureStream(&stream, WEBP_READ_SIZE, buffer, true);
	WebPIDelete(decoder);
	if (status != VP8_STATUS_OK)
		return "WebP data broken or cut short";
	LayRgbaOverBackground(pixels);
	return nullptr;
}

const char *
DecodeWebpPicture(const PictureSource &source, DecodedPicture *picture)
{
	unsigned char *buffer = new (std::nothrow) unsigned char[WEBP_READ_SIZE];
	WebPDecoderConfig config;
	if (!buffer || !WebPInitDecoderConfig(&config)) {
		delete[] buffer;
		return "out of memory for the WebP reader";
	}
	Pixels pixels;
	const char *why = Decode(source, buffer, &config, &pixels);
	delete[] buffer;
	if (!why) {
		picture->width = config.input.width;
		picture->height = config.input.height;
		picture->pixels.swap(pixels);
	}
	return why;
}
