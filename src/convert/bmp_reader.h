#ifndef TILERY_CONVERT_BMP_READER_H
#define TILERY_CONVERT_BMP_READER_H

#include <cstddef>
#include <cstdint>
#include <vector>

/* The largest picture accepted: 2^28 pixels, 1 GiB once decoded, and at
 * most 65536 pixels wide. No browser lays out a table of more columns, and
 * the scan keeps a record per column and a cell per pixel of a row. */
constexpr int64_t BMP_MAX_PIXELS = int64_t(1) << 28;
constexpr int64_t BMP_MAX_WIDTH = int64_t(1) << 16;

/* Colours are packed red in bits 0-7, green in 8-15, blue in 16-23; the
 * first pixel is the top-left one, rows follow each other top to bottom. */
struct DecodedPicture {
	int32_t width = 0;
	int32_t height = 0;
	std::vector<uint32_t> pixels;
};

/* Decodes a whole BMP file held in memory. Returns null on success, or a
 * short English reason why the file was refused, leaving picture as it was. */
const char *DecodeBmp(const unsigned char *data, size_t size, DecodedPicture *picture);

/* The same for a file open for reading, of the given size: read in pieces,
 * so that the file is not held in memory beside its picture. */
const char *DecodeBmpFile(int fd, uint64_t size, DecodedPicture *picture);

#endif
