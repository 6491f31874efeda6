#ifndef TILERY_TESTS_PICTURE_WRITER_H
#define TILERY_TESTS_PICTURE_WRITER_H

/* Small PNG and GIF files made in the tests: PNG chunk by chunk with zlib,
 * so that every colour type, depth and interlacing is pinned down; GIF
 * with giflib's own encoder. */

#include <gif_lib.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline void
PutBigEndian(Bytes *b, uint32_t v)
{
	for (int shift = 24; shift >= 0; shift -= 8)
		b->push_back(uint8_t(v >> shift));
}

inline void
AppendChunk(Bytes *png, const char type[5], const Bytes &data)
{
	PutBigEndian(png, uint32_t(data.size()));
	Bytes typed(type, type + 4);
	typed.insert(typed.end(), data.begin(), data.end());
	png->insert(png->end(), typed.begin(), typed.end());
	PutBigEndian(png, uint32_t(crc32(0, typed.data(), uInt(typed.size()))));
}

struct PngFields {
	uint32_t width = 1, height = 1;
	uint8_t bitDepth = 8, colorType = 2, interlace = 0;
	/* Samples, row by row, channel by channel, each within the bit depth. */
	std::vector<uint32_t> samples;
	std::vector<uint32_t> palette; /* 0x00RRGGBB */
	Bytes trns;                    /* the tRNS chunk's data, if any */
	bool withGamma = false;        /* a gAMA chunk of gamma 1 and an sRGB chunk */
};

inline int
PngChannels(uint8_t colorType)
{
	switch (colorType) {
	case 0: return 1;
	case 2: return 3;
	case 3: return 1;
	case 4: return 2;
	default: return 4;
	}
}

/* The filtered bytes (filter 0) of the rows of a sub-image. */
inline void
PackPngRows(const PngFields &f, const std::vector<uint32_t> &xs, const std::vector<uint32_t> &ys, Bytes *raw)
{
	const int channels = PngChannels(f.colorType);
	if (xs.empty())
		return;
	for (uint32_t y : ys) {
		raw->push_back(0);
		uint32_t bits = 0, count = 0;
		for (uint32_t x : xs)
			for (int c = 0; c < channels; c++) {
				const uint32_t s = f.samples[(size_t(y) * f.width + x) * size_t(channels) + size_t(c)];
				if (f.bitDepth == 16) {
					raw->push_back(uint8_t(s >> 8));
					raw->push_back(uint8_t(s));
				} else if (f.bitDepth == 8) {
					raw->push_back(uint8_t(s));
				} else {
					bits = bits << f.bitDepth | s;
					count += f.bitDepth;
					if (count == 8)
						raw->push_back(uint8_t(bits)), bits = 0, count = 0;
				}
			}
		if (count)
			raw->push_back(uint8_t(bits << (8 - count)));
	}
}

inline Bytes
MakePng(const PngFields &f)
{
	Bytes raw;
	auto range = [](uint32_t start, uint32_t step, uint32_t end) {
		std::vector<uint32_t> v;
		for (uint32_t i = start; i < end; i += step)
			v.push_back(i);
		return v;
	};
	if (f.interlace) {
		static const uint32_t X0[7] = {0, 4, 0, 2, 0, 1, 0}, DX[7] = {8, 8, 4, 4, 2, 2, 1};
		static const uint32_t Y0[7] = {0, 0, 4, 0, 2, 0, 1}, DY[7] = {8, 8, 8, 4, 4, 2, 2};
		for (int pass = 0; pass < 7; pass++) {
			const std::vector<uint32_t> xs = range(X0[pass], DX[pass], f.width), ys = range(Y0[pass], DY[pass], f.height);
			if (!xs.empty() && !ys.empty())
				PackPngRows(f, xs, ys, &raw);
		}
	} else {
		PackPngRows(f, range(0, 1, f.width), range(0, 1, f.height), &raw);
	}
	Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
	Bytes header;
	PutBigEndian(&header, f.width);
	PutBigEndian(&header, f.height);
	header.insert(header.end(), {f.bitDepth, f.colorType, 0, 0, f.interlace});
	AppendChunk(&png, "IHDR", header);
	if (f.withGamma) {
		Bytes gamma;
		PutBigEndian(&gamma, 100000); /* gamma 1: applied, it would change every colour */
		AppendChunk(&png, "gAMA", gamma);
	}
	if (!f.palette.empty()) {
		Bytes plte;
		for (uint32_t c : f.palette)
			plte.insert(plte.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
		AppendChunk(&png, "PLTE", plte);
	}
	if (!f.trns.empty())
		AppendChunk(&png, "tRNS", f.trns);
	uLongf size = compressBound(uLong(raw.size()));
	Bytes deflated(size);
	compress2(deflated.data(), &size, raw.data(), uLong(raw.size()), 9);
	deflated.resize(size);
	AppendChunk(&png, "IDAT", deflated);
	AppendChunk(&png, "IEND", {});
	return png;
}

/* ---- GIF ---- */

struct GifFrame {
	int left = 0, top = 0, width = 1, height = 1;
	bool interlace = false;
	int transparent = -1;         /* an index, or -1 for none */
	std::vector<uint8_t> indices; /* row by row, in display order */
};

inline int
AppendGifBytes(GifFileType *gif, const GifByteType *data, int length)
{
	auto *out = static_cast<Bytes *>(gif->UserData);
	out->insert(out->end(), data, data + length);
	return length;
}

/* A GIF of the screen size with a global colour table (0x00RRGGBB, a
 * power of two long) and the frames given. */
inline Bytes
MakeGif(int screenWidth, int screenHeight, const std::vector<uint32_t> &colors, const std::vector<GifFrame> &frames)
{
	Bytes out;
	int error;
	GifFileType *gif = EGifOpen(&out, AppendGifBytes, &error);
	std::vector<GifColorType> table;
	for (uint32_t c : colors)
		table.push_back({uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
	ColorMapObject *map = GifMakeMapObject(int(table.size()), table.data());
	EGifSetGifVersion(gif, true);
	EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, map);
	for (const GifFrame &frame : frames) {
		if (frame.transparent >= 0) {
			GraphicsControlBlock control = {};
			control.TransparentColor = frame.transparent;
			GifByteType block[4];
			const size_t length = EGifGCBToExtension(&control, block);
			EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), block);
		}
		EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlace, nullptr);
		std::vector<int> order;
		if (frame.interlace) {
			static const int START[4] = {0, 4, 2, 1}, STEP[4] = {8, 8, 4, 2};
			for (int pass = 0; pass < 4; pass++)
				for (int row = START[pass]; row < frame.height; row += STEP[pass])
					order.push_back(row);
		} else {
			for (int row = 0; row < frame.height; row++)
				order.push_back(row);
		}
		for (int row : order) {
			std::vector<GifPixelType> line(frame.indices.begin() + row * frame.width,
			                               frame.indices.begin() + (row + 1) * frame.width);
			EGifPutLine(gif, line.data(), frame.width);
		}
	}
	EGifCloseFile(gif, &error);
	GifFreeMapObject(map);
	return out;
}

#endif
