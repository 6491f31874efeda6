#include "picture/bmp_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "system/progress.h"

/* Every header field is checked against these before it is used, and every
 * size is computed in 64 bits and checked before anything is allocated. */
enum : uint32_t {
	FILE_HEADER_SIZE = 14,
	CORE_HEADER_SIZE = 12,     /* OS/2 1.x */
	OS2_SHORT_HEADER_SIZE = 16,
	INFO_HEADER_SIZE = 40,
	OS2_LONG_HEADER_SIZE = 64,
	MAX_PALETTE_ENTRIES = 256,
};


enum : uint32_t {
	COMPRESS_NONE = 0,
	COMPRESS_RLE8 = 1,
	COMPRESS_RLE4 = 2,
	COMPRESS_BITFIELDS = 3,     /* Huffman 1D in OS/2 headers */
	COMPRESS_ALPHABITFIELDS = 6,
};

namespace {

struct Channel {
	uint32_t mask;
	int shift;
	uint32_t max; /* the mask shifted down: the channel's largest value */
};

struct Layout {
	uint32_t headerSize;
	uint32_t dataOffset;
	int64_t width;
	int64_t height; /* rows, always positive */
	bool topDown;
	uint32_t bitCount;
	uint32_t compression;
	uint32_t paletteSize;
	uint32_t palette[MAX_PALETTE_ENTRIES];
	Channel channels[3]; /* red, green, blue */
};

} // namespace

static uint32_t
ReadU16(const unsigned char *p)
{
	return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

static uint32_t
ReadU32(const unsigned char *p)
{
	return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

static bool
IsKnownHeaderSize(uint32_t size)
{
	switch (size) {
	case CORE_HEADER_SIZE:
	case OS2_SHORT_HEADER_SIZE:
	case INFO_HEADER_SIZE:
	case 52:
	case 56:
	case OS2_LONG_HEADER_SIZE:
	case 108:
	case 124:
		return true;
	}
	return false;
}

static bool
IsOs2Header(uint32_t size)
{
	return size == OS2_SHORT_HEADER_SIZE || size == OS2_LONG_HEADER_SIZE;
}

/* Any run of adjacent bits will do; an empty mask makes the channel 0. */
static bool
MakeChannel(uint32_t mask, uint32_t bitCount, Channel *channel)
{
	channel->mask = mask;
	channel->shift = 0;
	channel->max = 0;
	if (mask == 0)
		return true;
	if (bitCount < 32 && (mask >> bitCount) != 0)
		return false;
	while (!(mask & 1)) {
		mask >>= 1;
		channel->shift++;
	}
	if ((uint64_t(mask) & (uint64_t(mask) + 1)) != 0)
		return false;
	channel->max = mask;
	return true;
}

/* Scaled so that the channel's largest value becomes 255, rounded. */
static uint32_t
ScaleChannel(const Channel &channel, uint32_t value)
{
	if (channel.max == 0)
		return 0;
	uint32_t v = (value & channel.mask) >> channel.shift;
	if (channel.max == 255)
		return v;
	return uint32_t((uint64_t(v) * 255 + channel.max / 2) / channel.max);
}

static uint32_t
MaskedColor(const Layout &layout, uint32_t value)
{
	return PackColor(ScaleChannel(layout.channels[0], value),
	                 ScaleChannel(layout.channels[1], value),
	                 ScaleChannel(layout.channels[2], value));
}

/* data holds the file's first `size` bytes, all of them up to the pixel
 * data; the file has fileSize. */
static const char *
ReadLayout(const unsigned char *data, size_t size, uint64_t fileSize, Layout *layout)
{
	if (size < FILE_HEADER_SIZE + 4)
		return "too short for a BMP header";
	if (data[0] != 'B' || data[1] != 'M')
		return "not a BMP file";
	layout->dataOffset = ReadU32(data + 10);
	layout->headerSize = ReadU32(data + 14);
	const uint32_t headerSize = layout->headerSize;
	if (!IsKnownHeaderSize(headerSize))
		return "unknown header size";
	if (size < uint64_t(FILE_HEADER_SIZE) + headerSize)
		return "header cut short";

	const unsigned char *h = data + FILE_HEADER_SIZE;
	uint32_t planes, colorsUsed = 0;
	int64_t height;
	layout->compression = COMPRESS_NONE;
	if (headerSize == CORE_HEADER_SIZE) {
		layout->width = ReadU16(h + 4);
		height = ReadU16(h + 6);
		planes = ReadU16(h + 8);
		layout->bitCount = ReadU16(h + 10);
	} else {
		layout->width = int32_t(ReadU32(h + 4));
		height = int32_t(ReadU32(h + 8));
		planes = ReadU16(h + 12);
		layout->bitCount = ReadU16(h + 14);
		if (headerSize >= INFO_HEADER_SIZE) {
			layout->compression = ReadU32(h + 16);
			colorsUsed = ReadU32(h + 32);
		}
	}

	if (planes != 1)
		return "plane count is not 1";
	if (layout->width <= 0 || height == 0)
		return "width or height is 0 or negative";
	layout->topDown = height < 0;
	layout->height = height < 0 ? -height : height;
	if (!IsPictureSizeAccepted(layout->width, layout->height))
		return "picture larger than the size cap";

	const uint32_t bits = layout->bitCount;
	if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
		return "unsupported bit depth";

	const uint32_t compression = layout->compression;
	switch (compression) {
	case COMPRESS_NONE:
		break;
	case COMPRESS_RLE8:
	case COMPRESS_RLE4:
		if (bits != (compression == COMPRESS_RLE8 ? 8u : 4u))
			return "run-length coding does not match the bit depth";
		if (layout->topDown)
			return "run-length coded picture stored top-down";
		break;
	case COMPRESS_BITFIELDS:
	case COMPRESS_ALPHABITFIELDS:
		if (IsOs2Header(headerSize))
			return "unsupported compression";
		if (bits != 16 && bits != 32)
			return "bit-field masks need 16 or 32 bits per pixel";
		break;
	default:
		return "unsupported compression";
	}

	/* Channel masks: in the header from 52 bytes on, else just after it. */
	uint64_t paletteStart = uint64_t(FILE_HEADER_SIZE) + headerSize;
	uint32_t masks[3];
	if (compression == COMPRESS_BITFIELDS || compression == COMPRESS_ALPHABITFIELDS) {
		const unsigned char *m = h + INFO_HEADER_SIZE;
		if (headerSize == INFO_HEADER_SIZE) {
			uint32_t maskBytes = compression == COMPRESS_BITFIELDS ? 12 : 16;
			if (size < paletteStart + maskBytes)
				return "bit-field masks cut short";
			paletteStart += maskBytes;
		}
		for (int i = 0; i < 3; i++)
			masks[i] = ReadU32(m + 4 * i);
	} else if (bits == 16) {
		masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
	} else {
		masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
	}
	if (bits == 16 || bits == 32) {
		for (int i = 0; i < 3; i++)
			if (!MakeChannel(masks[i], bits, &layout->channels[i]))
				return "channel mask is not one run of bits";
	}

	if (layout->dataOffset < paletteStart || layout->dataOffset > fileSize || layout->dataOffset > size)
		return "pixel data offset outside the file";

	/* Palette: as long as the header says, no longer than the bit depth
	 * allows and than fits before the pixels; missing entries are black. */
	std::memset(layout->palette, 0, sizeof layout->palette);
	layout->paletteSize = 0;
	if (bits <= 8) {
		const uint32_t entrySize = headerSize == CORE_HEADER_SIZE ? 3 : 4;
		uint64_t entries = colorsUsed ? colorsUsed : uint64_t(1) << bits;
		if (entries > (uint64_t(1) << bits))
			entries = uint64_t(1) << bits;
		const uint64_t room = (layout->dataOffset - paletteStart) / entrySize;
		if (entries > room)
			entries = room;
		const unsigned char *p = data + paletteStart;
		for (uint32_t i = 0; i < entries; i++, p += entrySize)
			layout->palette[i] = PackColor(p[2], p[1], p[0]);
		layout->paletteSize = uint32_t(entries);
	}
	return nullptr;
}

/* Stored rows first to first + count, held at bits. */
static void
DecodeRows(const Layout &layout, const unsigned char *bits, size_t stride, int64_t first, int64_t count,
           uint32_t *pixels)
{
	const int64_t width = layout.width;
	for (int64_t row = first; row < first + count; row++) {
		const unsigned char *in = bits + size_t(row - first) * stride;
		const int64_t y = layout.topDown ? row : layout.height - 1 - row;
		uint32_t *out = pixels + size_t(y) * size_t(width);
		switch (layout.bitCount) {
		case 1:
		case 4:
		case 8: {
			const uint32_t depth = layout.bitCount;
			const uint32_t perByte = 8 / depth;
			const uint32_t indexMask = (1u << depth) - 1;
			for (int64_t x = 0; x < width; x++) {
				uint32_t shift = 8 - depth * (uint32_t(x % perByte) + 1);
				out[x] = layout.palette[(in[x / perByte] >> shift) & indexMask];
			}
			break;
		}
		case 16:
			for (int64_t x = 0; x < width; x++)
				out[x] = MaskedColor(layout, ReadU16(in + 2 * x));
			break;
		case 24: {
			/* Blue, green, red and the byte after, read as one word; the
			 * row's last pixel alone, as it may end the data. */
			int64_t x = 0;
			for (; x + 1 < width; x++, in += 3) {
				uint32_t word;
				std::memcpy(&word, in, 4);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
				word = __builtin_bswap32(word);
#endif
				out[x] = word >> 8;
			}
			out[x] = PackColor(in[2], in[1], in[0]);
			break;
		}
		case 32:
			for (int64_t x = 0; x < width; x++)
				out[x] = MaskedColor(layout, ReadU32(in + 4 * x));
			break;
		}
	}
}

/* Run-length coded pixels. Anything the codes skip (deltas, early line and
 * picture ends) stays black. A run that passes the row's end is cut there,
 * as encoders that pad rows with runs expect; runs below the picture and
 * deltas that leave it are refused.
 * Without pixels, only checks the codes, so that a broken stream is refused
 * before memory is taken for its picture. */
static const char *
DecodeRunLength(const Layout &layout, const unsigned char *p, const unsigned char *end,
                uint32_t *pixels)
{
	const bool four = layout.compression == COMPRESS_RLE4;
	const int64_t width = layout.width, height = layout.height;
	int64_t x = 0, y = 0; /* y counts from the bottom row */

	for (uint32_t codes = 1;; codes++) {
		/* The stream was read in one piece: the window waiting for it is
		 * kept painted from here. 2^16 codes make at most 16 Mi pixels. */
		if (codes % (1u << 16) == 0)
			ReportProgress(STAGE_READING, 1, 1);
		if (end - p < 2)
			return y >= height ? nullptr : "run-length data cut short";
		const uint32_t count = p[0], code = p[1];
		p += 2;
		if (count > 0 || code > 2) {
			const bool absolute = count == 0;
			const uint32_t n = absolute ? code : count;
			if (y >= height)
				return "run-length data runs past the picture";
			const uint32_t kept = uint32_t(std::min<int64_t>(n, width - x));
			const unsigned char *literal = p;
			if (absolute) {
				size_t bytes = four ? (n + 1) / 2 : n;
				bytes += bytes & 1;
				if (size_t(end - p) < bytes)
					return "run-length data cut short";
				p += bytes;
			}
			if (pixels) {
				uint32_t *out = pixels + size_t(height - 1 - y) * size_t(width) + size_t(x);
				for (uint32_t i = 0; i < kept; i++) {
					uint32_t index;
					if (four) {
						unsigned char byte = absolute ? literal[i / 2] : code;
						index = i % 2 ? byte & 0x0F : byte >> 4;
					} else {
						index = absolute ? literal[i] : code;
					}
					out[i] = layout.palette[index];
				}
			}
			x += kept;
		} else if (code == 0) { /* end of line */
			x = 0;
			y++;
		} else if (code == 1) { /* end of picture */
			return nullptr;
		} else { /* delta */
			if (end - p < 2)
				return "run-length data cut short";
			x += p[0];
			y += p[1];
			p += 2;
			if (x > width || y > height)
				return "run-length delta leaves the picture";
		}
	}
}

/* The headers are small; this much is read first. */
constexpr size_t HEAD_READ = 1 << 16;
/* Uncompressed rows are decoded this many bytes at a time. */
constexpr size_t ROWS_READ = 1 << 18;

const char *
DecodeBmpPicture(const PictureSource &source, DecodedPicture *picture)
{
	std::vector<unsigned char> head;
	try {
		head.resize(size_t(std::min<uint64_t>(source.size, HEAD_READ)));
		if (!ReadPictureBytes(source, 0, head.size(), head.data()))
			return "file cut short";
		/* Everything up to the pixels: the headers, masks and palette. */
		if (head.size() >= FILE_HEADER_SIZE + 4 && head[0] == 'B' && head[1] == 'M') {
			const uint32_t dataOffset = ReadU32(head.data() + 10);
			if (dataOffset > head.size() && dataOffset <= source.size) {
				const size_t had = head.size();
				head.resize(dataOffset);
				if (!ReadPictureBytes(source, had, dataOffset - had, head.data() + had))
					return "file cut short";
			}
		}
	} catch (const std::bad_alloc &) {
		return "out of memory for the headers";
	}
	Layout layout;
	if (const char *why = ReadLayout(head.data(), head.size(), source.size, &layout))
		return why;
	head.clear();
	head.shrink_to_fit();

	const uint64_t available = source.size - layout.dataOffset;
	const uint64_t stride = (uint64_t(layout.width) * layout.bitCount + 31) / 32 * 4;
	const bool runLength = layout.compression == COMPRESS_RLE8 || layout.compression == COMPRESS_RLE4;
	std::vector<unsigned char> stream;
	if (runLength) {
		try {
			stream.resize(size_t(available));
		} catch (const std::bad_alloc &) {
			return "out of memory for the run-length data";
		}
		if (!ReadPictureBytes(source, layout.dataOffset, stream.size(), stream.data()))
			return "file cut short";
		if (const char *why = DecodeRunLength(layout, stream.data(), stream.data() + stream.size(), nullptr))
			return why;
	} else if (stride * uint64_t(layout.height) > available) {
		return "pixel data cut short";
	}

	/* The cap bounds this: 2^28 pixels at most. */
	Pixels pixels;
	std::vector<unsigned char> rows;
	const int64_t rowsRead = std::max<int64_t>(1, int64_t(ROWS_READ / stride));
	try {
		pixels.assign(size_t(layout.width) * size_t(layout.height), 0);
		if (!runLength)
			rows.resize(size_t(stride) * size_t(std::min<int64_t>(rowsRead, layout.height)));
	} catch (const std::bad_alloc &) {
		return "out of memory for the pixels";
	}

	if (runLength) {
		DecodeRunLength(layout, stream.data(), stream.data() + stream.size(), pixels.data());
	} else {
		for (int64_t first = 0; first < layout.height; first += rowsRead) {
			const int64_t count = std::min(rowsRead, layout.height - first);
			if (!ReadPictureBytes(source, layout.dataOffset + uint64_t(first) * stride, size_t(count) * size_t(stride),
			               rows.data()))
				return "file cut short"; /* it shrank while being read */
			DecodeRows(layout, rows.data(), size_t(stride), first, count, pixels.data());
		}
	}

	picture->width = int32_t(layout.width);
	picture->height = int32_t(layout.height);
	picture->pixels.swap(pixels);
	return nullptr;
}

const char *
DecodeBmp(const unsigned char *data, size_t size, DecodedPicture *picture)
{
	return DecodeBmpPicture(PictureSource{size, data, -1}, picture);
}
