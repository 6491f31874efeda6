#ifndef TILERY_TESTS_BMP_WRITER_H
#define TILERY_TESTS_BMP_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

/* Small BMP files made in the tests, so that every variant the reader
 * accepts or refuses is pinned down byte by byte. */

using Bytes = std::vector<unsigned char>;

inline void
PutU16(Bytes *b, size_t at, uint32_t v)
{
	(*b)[at] = uint8_t(v), (*b)[at + 1] = uint8_t(v >> 8);
}

inline void
PutU32(Bytes *b, size_t at, uint32_t v)
{
	for (int i = 0; i < 4; i++)
		(*b)[at + i] = uint8_t(v >> (8 * i));
}

struct BmpFields {
	uint32_t headerSize = 40;
	int32_t width = 1;
	int32_t height = 1; /* negative: rows stored top-down */
	uint32_t planes = 1;
	uint32_t bitCount = 24;
	uint32_t compression = 0;
	uint32_t colorsUsed = 0;
	std::vector<uint32_t> masks;   /* written after a 40-byte header, or into a longer one */
	std::vector<uint32_t> palette; /* colours as 0x00RRGGBB */
	Bytes pixelData;               /* exactly as stored */
};

/* Assembles the file; the pixel data follows the palette directly. */
inline Bytes
MakeBmp(const BmpFields &s)
{
	const size_t entry = s.headerSize == 12 ? 3 : 4;
	const size_t maskBytes = s.headerSize == 40 ? 4 * s.masks.size() : 0;
	const size_t offset = 14 + s.headerSize + maskBytes + entry * s.palette.size();
	Bytes b(offset + s.pixelData.size(), 0);
	b[0] = 'B', b[1] = 'M';
	PutU32(&b, 2, uint32_t(b.size()));
	PutU32(&b, 10, uint32_t(offset));
	PutU32(&b, 14, s.headerSize);
	if (s.headerSize == 12) {
		PutU16(&b, 18, uint32_t(s.width));
		PutU16(&b, 20, uint32_t(s.height));
		PutU16(&b, 22, s.planes);
		PutU16(&b, 24, s.bitCount);
	} else {
		PutU32(&b, 18, uint32_t(s.width));
		PutU32(&b, 22, uint32_t(s.height));
		PutU16(&b, 26, s.planes);
		PutU16(&b, 28, s.bitCount);
		if (s.headerSize >= 40) {
			PutU32(&b, 30, s.compression);
			PutU32(&b, 34, uint32_t(s.pixelData.size()));
			PutU32(&b, 46, s.colorsUsed);
		}
	}
	size_t at = 14 + (s.headerSize == 40 ? s.headerSize : 40);
	if (s.headerSize >= 40)
		for (uint32_t m : s.masks)
			PutU32(&b, at, m), at += 4;
	at = 14 + s.headerSize + maskBytes;
	for (uint32_t c : s.palette) {
		b[at] = uint8_t(c), b[at + 1] = uint8_t(c >> 8), b[at + 2] = uint8_t(c >> 16);
		at += entry;
	}
	std::copy(s.pixelData.begin(), s.pixelData.end(), b.begin() + long(offset));
	return b;
}

/* A 24-bit picture, bottom-up, from colours given top row first as 0x00RRGGBB. */
inline Bytes
MakeBmp24(int32_t width, int32_t height, const std::vector<uint32_t> &rgb)
{
	BmpFields s;
	s.width = width;
	s.height = height;
	const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
	s.pixelData.assign(stride * size_t(height), 0);
	for (int32_t y = 0; y < height; y++)
		for (int32_t x = 0; x < width; x++) {
			uint32_t c = rgb[size_t(y) * size_t(width) + size_t(x)];
			unsigned char *p = &s.pixelData[size_t(height - 1 - y) * stride + size_t(x) * 3];
			p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
		}
	return MakeBmp(s);
}

/* A one-colour picture, RLE8-coded: a few bytes for even a very large one. */
inline Bytes
MakeFlatRle8(int32_t width, int32_t height, uint32_t rgb)
{
	BmpFields s;
	s.width = width;
	s.height = height;
	s.bitCount = 8;
	s.compression = 1;
	s.palette = {rgb};
	for (int32_t y = 0; y < height; y++) {
		for (int32_t left = width; left > 0; left -= 255)
			s.pixelData.insert(s.pixelData.end(), {uint8_t(left > 255 ? 255 : left), 0});
		s.pixelData.insert(s.pixelData.end(), {0, 0});
	}
	s.pixelData.insert(s.pixelData.end(), {0, 1});
	return MakeBmp(s);
}

#endif
