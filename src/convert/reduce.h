#ifndef TILERY_CONVERT_REDUCE_H
#define TILERY_CONVERT_REDUCE_H

#include <cstdint>
#include <vector>

#include "convert/picture.h"

/* A picture made cheaper to draw as a table, losing what shows least:
 *   scale: a coarser grid, each cell the mean of scale x scale pixels (the
 *     last column and row take what is left);
 *   colours: at most this many colours (0: all), by median cut, without
 *     dithering, which would break cells up;
 *   tolerance: neighbouring pixels whose channels differ by at most this
 *     much from the first of a rectangle are merged into it, and the
 *     rectangle is painted its pixels' mean colour.
 * Clear pixels stay clear and never mix with colours. */
struct Reduction {
	int32_t scale;
	int colours;
	int tolerance;
	size_t rectangles; /* instead of colours and tolerance, a Partition's (0: none) */
};
constexpr Reduction NO_REDUCTION = {1, 0, 0, 0};
enum { MAX_SCALE = 64, MAX_TOLERANCE = 255 };

/* The picture on a grid of ceil(width / scale) by ceil(height / scale)
 * cells, each the mean of its block's pixels that are not clear; with each
 * block's sums (of every channel, of its squares, and the count), which
 * tell the error of any colouring of the grid exactly. Everything after
 * this costs by the grid, not by the picture. Throws std::bad_alloc. */
struct CoarseGrid {
	DecodedPicture means;
	std::vector<uint64_t> sums; /* 7 a cell; none at scale 1 */
};
CoarseGrid Coarsen(const DecodedPicture &picture, int32_t scale);

/* A grid with fewer colours (0: as many as it has) and near colours merged
 * (tolerance 0: none). */
DecodedPicture Reduce(const DecodedPicture &grid, int colours, int tolerance);

/* The grid cut into rectangles, each painted its pixels' mean: from the
 * whole grid, the rectangle whose best cut (across or down, anywhere)
 * takes away the most squared error is cut, again and again, the cuts kept
 * in order, so that any number of rectangles can be painted. Clear cells
 * stay clear. */
class Partition {
public:
	/* Cuts until there are `most` rectangles or no cut takes error away. */
	Partition(const CoarseGrid &grid, size_t most);
	/* The grid painted with the first `count` rectangles (at most Most()). */
	DecodedPicture Paint(size_t count) const;
	size_t Most() const { return cuts_.size() + 1; }

private:
	struct Rect {
		int32_t x, y, w, h;
	};
	struct Cut {
		size_t rect; /* cut into rect and a new one */
		Rect first, second;
	};
	const CoarseGrid &grid_;
	std::vector<uint64_t> table_; /* the sums over every top-left rectangle, 5 a corner */
	std::vector<Cut> cuts_;
	void Sums(const Rect &r, uint64_t out[5]) const;
	double Error(const Rect &r) const;
};

/* The squared error, over every channel of every pixel that is not clear,
 * of the picture as `drawn` (a colouring of the grid) draws it. */
uint64_t DrawingError(const CoarseGrid &grid, const DecodedPicture &drawn);

/* The peak signal-to-noise ratio of that error, in dB; infinite for none. */
double PeakSignalToNoise(uint64_t error, const DecodedPicture &picture);

#endif
