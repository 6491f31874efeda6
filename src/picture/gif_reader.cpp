/* GIF (87a and 89a) through giflib: the first image only, placed on its
 * logical screen; the rest of the screen and transparent pixels are clear
 * (the background, white unless set otherwise), indices past the colour
 * table black. */
#include <gif_lib.h>

#include <algorithm>
#include <new>

#include "picture/picture.h"

static int
ReadStream(GifFileType *gif, GifByteType *to, int length)
{
	return int(ReadPictureStream(static_cast<PictureStream *>(gif->UserData), size_t(length), to, true));
}

/* Up to the first image, noting the transparent index a graphic control
 * extension before it gives; false when the file has no image. */
static bool
FindFirstImage(GifFileType *gif, int *transparent)
{
	*transparent = NO_TRANSPARENT_COLOR;
	for (;;) {
		GifRecordType record;
		if (DGifGetRecordType(gif, &record) != GIF_OK)
			return false;
		if (record == IMAGE_DESC_RECORD_TYPE)
			return DGifGetImageDesc(gif) == GIF_OK;
		if (record == TERMINATE_RECORD_TYPE)
			return false;
		if (record != EXTENSION_RECORD_TYPE)
			continue;
		int code;
		GifByteType *block;
		if (DGifGetExtension(gif, &code, &block) != GIF_OK)
			return false;
		if (code == GRAPHICS_EXT_FUNC_CODE && block) {
			GraphicsControlBlock control;
			if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
				*transparent = control.TransparentColor;
		}
		while (block)
			if (DGifGetExtensionNext(gif, &block) != GIF_OK)
				return false;
	}
}

static const char *
Decode(GifFileType *gif, DecodedPicture *picture)
{
	const int64_t width = gif->SWidth, height = gif->SHeight;
	if (!IsPictureSizeAccepted(width, height))
		return "picture larger than the size cap, or empty";
	int transparent;
	if (!FindFirstImage(gif, &transparent))
		return "GIF without an image, or broken before it";
	const GifImageDesc &image = gif->Image;
	const ColorMapObject *map = image.ColorMap ? image.ColorMap : gif->SColorMap;
	if (!map || image.Width <= 0 || image.Height <= 0)
		return "GIF image without colours or pixels";
	/* The image is decoded whatever of it the screen shows: held to the
	 * cap, and read no further than its last row on the screen. */
	if (!IsPictureSizeAccepted(image.Width, image.Height))
		return "GIF image larger than the size cap";
	int64_t rowsShown = std::min<int64_t>(image.Height, height - image.Top);

	Pixels pixels;
	std::vector<GifPixelType> line;
	try {
		pixels.assign(size_t(width) * size_t(height), ClearPixel());
		line.resize(size_t(image.Width));
	} catch (const std::bad_alloc &) {
		return "out of memory for the pixels";
	}
	/* Interlaced rows come every 8th from 0, every 8th from 4, every 4th
	 * from 2, every 2nd from 1. */
	static const int START[4] = {0, 4, 2, 1}, STEP[4] = {8, 8, 4, 2};
	const int passes = image.Interlace ? 4 : 1;
	for (int pass = 0; pass < passes && rowsShown > 0; pass++) {
		const int start = image.Interlace ? START[pass] : 0, step = image.Interlace ? STEP[pass] : 1;
		for (int row = start; row < image.Height && rowsShown > 0; row += step) {
			if (DGifGetLine(gif, line.data(), image.Width) != GIF_OK)
				return "GIF data broken or cut short";
			/* Parts of the image off the screen are not drawn. */
			const int64_t y = int64_t(image.Top) + row;
			if (y >= height)
				continue;
			rowsShown--;
			uint32_t *out = pixels.data() + size_t(y) * size_t(width);
			for (int c = 0; c < image.Width; c++) {
				const int64_t x = int64_t(image.Left) + c;
				const int index = line[size_t(c)];
				if (x >= width || index == transparent)
					continue;
				if (index >= map->ColorCount) { /* past the colour table: black, as in BMP */
					out[x] = 0;
					continue;
				}
				const GifColorType &color = map->Colors[index];
				out[x] = PackColor(color.Red, color.Green, color.Blue);
			}
		}
	}
	picture->width = int32_t(width);
	picture->height = int32_t(height);
	picture->pixels.swap(pixels);
	return nullptr;
}

const char *
DecodeGifPicture(const PictureSource &source, DecodedPicture *picture)
{
	PictureStream reader{&source, 0};
	int error;
	GifFileType *gif = DGifOpen(&reader, ReadStream, &error);
	if (!gif)
		return "not a GIF picture that can be read";
	const char *why = Decode(gif, picture);
	DGifCloseFile(gif, &error);
	return why;
}
