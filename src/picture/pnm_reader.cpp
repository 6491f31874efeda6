/* The netpbm formats: PBM, PGM and PPM, plain (P1-P3) and raw (P4-P6), any
 * maxval up to 65535, samples scaled to 0-255 with rounding. Every header
 * field is checked against the limits before anything is allocated. */
#include <new>

#include "picture/picture.h"

enum : uint32_t {
	PNM_MAX_MAXVAL = 65535,
	PNM_MAX_NUMBER = 1u << 30, /* past any width, height or maxval accepted */
};

namespace {

/* The file read front to back, a piece at a time. */
struct Reader {
	const PictureSource *source;
	uint64_t offset = 0;
	unsigned char buffer[1 << 16];
	size_t used = 0, filled = 0;

	/* The next byte, or -1 at the end of the file. */
	int Next()
	{
		if (used == filled) {
			const uint64_t left = source->size - offset;
			const size_t n = size_t(left < sizeof buffer ? left : sizeof buffer);
			if (n == 0 || !ReadPictureBytes(*source, offset, n, buffer))
				return -1;
			offset += n, used = 0, filled = n;
		}
		return buffer[used++];
	}
	/* Gives back the byte Next just returned. */
	void Back() { used--; }
	uint64_t Consumed() const { return offset - (filled - used); }
};

} // namespace

static bool
IsSpace(int c)
{
	return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/* Skips white space and comments (# to the end of the line); returns the
 * first other byte, or -1. */
static int
SkipSpace(Reader *in)
{
	for (int c = in->Next();; c = in->Next()) {
		if (c == '#')
			while (c != '\n' && c != '\r' && c != -1)
				c = in->Next();
		if (!IsSpace(c))
			return c;
	}
}

/* A decimal number after white space and comments; *after is the byte
 * that ended it, given back when it starts a comment. */
static bool
ReadNumber(Reader *in, uint32_t *value, int *after)
{
	int c = SkipSpace(in);
	if (c < '0' || c > '9')
		return false;
	uint64_t v = 0; /* at most ten times the limit, so never wraps */
	for (; c >= '0' && c <= '9'; c = in->Next()) {
		v = v * 10 + uint64_t(c - '0');
		if (v > PNM_MAX_NUMBER)
			return false;
	}
	if (c == '#')
		in->Back();
	*after = c;
	*value = uint32_t(v);
	return true;
}

static uint32_t
Scale(uint32_t sample, uint32_t maxval)
{
	return maxval == 255 ? sample : (sample * 255 + maxval / 2) / maxval;
}

/* One sample of a plain or raw raster, checked against maxval. */
static bool
ReadSample(Reader *in, bool plain, uint32_t maxval, uint32_t *value)
{
	int after;
	if (plain)
		return ReadNumber(in, value, &after) && *value <= maxval;
	int v = in->Next();
	if (v >= 0 && maxval > 255) {
		const int low = in->Next();
		v = low < 0 ? -1 : v << 8 | low;
	}
	*value = uint32_t(v);
	return v >= 0 && *value <= maxval;
}

static const char *
ReadRaster(Reader *in, int kind, uint32_t width, uint32_t maxval, Pixels *pixels)
{
	const bool plain = kind <= 3, bitmap = kind % 3 == 1, colour = kind % 3 == 0;
	int byte = 0;
	for (size_t i = 0; i < pixels->size(); i++) {
		if (bitmap) { /* 1 is black */
			uint32_t bit;
			if (plain) {
				const int c = SkipSpace(in); /* bits may run together */
				if (c != '0' && c != '1')
					return "netpbm raster broken or cut short";
				bit = uint32_t(c - '0');
			} else {
				const size_t x = i % width;
				if (x % 8 == 0 && (byte = in->Next()) < 0)
					return "netpbm raster cut short";
				bit = uint32_t(byte) >> (7 - x % 8) & 1;
			}
			(*pixels)[i] = bit ? 0 : 0xFFFFFF;
			continue;
		}
		uint32_t r, g, b;
		if (!ReadSample(in, plain, maxval, &r) ||
		    (colour && (!ReadSample(in, plain, maxval, &g) || !ReadSample(in, plain, maxval, &b))))
			return "netpbm raster broken, cut short, or past its maxval";
		if (!colour)
			g = b = r;
		(*pixels)[i] = PackColor(Scale(r, maxval), Scale(g, maxval), Scale(b, maxval));
	}
	return nullptr;
}

static const char *
Decode(Reader *in, DecodedPicture *picture)
{
	if (in->Next() != 'P')
		return "not a netpbm file";
	const int kind = in->Next() - '0'; /* 1-3 plain, 4-6 raw: bitmap, grey, colour */
	if (kind < 1 || kind > 6)
		return "not a netpbm file";
	const bool plain = kind <= 3, bitmap = kind % 3 == 1, colour = kind % 3 == 0;
	uint32_t width, height, maxval = 1;
	int after;
	if (!ReadNumber(in, &width, &after) || !ReadNumber(in, &height, &after) ||
	    (!bitmap && !ReadNumber(in, &maxval, &after)))
		return "netpbm header broken";
	if (!IsPictureSizeAccepted(width, height))
		return "picture larger than the size cap, or empty";
	if (maxval < 1 || maxval > PNM_MAX_MAXVAL)
		return "netpbm maxval out of range";
	/* A raw raster starts after exactly one white-space byte, and one too
	 * short for the picture is refused before memory is taken. */
	if (!plain && !IsSpace(after))
		return "netpbm header broken";
	const uint64_t rowBytes = bitmap ? (uint64_t(width) + 7) / 8
	                                 : uint64_t(width) * (colour ? 3 : 1) * (maxval > 255 ? 2 : 1);
	if (!plain && rowBytes * height > in->source->size - in->Consumed())
		return "netpbm raster cut short";
	if (plain && uint64_t(width) * height > in->source->size - in->Consumed())
		return "netpbm raster cut short"; /* every sample takes a byte at least */

	Pixels pixels;
	try {
		pixels.resize(size_t(width) * size_t(height));
	} catch (const std::bad_alloc &) {
		return "out of memory for the pixels";
	}
	if (const char *why = ReadRaster(in, kind, width, maxval, &pixels))
		return why;
	picture->width = int32_t(width);
	picture->height = int32_t(height);
	picture->pixels.swap(pixels);
	return nullptr;
}

const char *
DecodePnmPicture(const PictureSource &source, DecodedPicture *picture)
{
	auto *in = new (std::nothrow) Reader;
	if (!in)
		return "out of memory for the reader";
	in->source = &source;
	const char *why = Decode(in, picture);
	delete in;
	return why;
}
