#ifndef TILERY_REDUCE_REDUCE_H
#define TILERY_REDUCE_REDUCE_H

#include <cstdint>
#include <vector>

#include "picture/picture.h"

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
};
constexpr Reduction NO_REDUCTION = {1, 0, 0};

/* What was done, by hand or by the budget's search: the same, or the grid
 * cut into a Partition's rectangles instead of colours and tolerance. */
struct ReductionDone {
	int32_t scale;
	int colours;
	int tolerance;
	size_t rectangles; /* 0: none */
};
enum { MAX_SCALE = 64, MAX_TOLERANCE = 255 };

/* The grid of a picture seen scale times coarser: each cell the mean of
 * its block's pixels that are not clear, or clear where most of the block
 * is. At scale 1 the grid is the picture itself, not a copy. Where the
 * grid has at most MOST_SUMMED_CELLS cells, the sums of every rectangle of
 * it (of the red, green and blue of its pixels that are not clear, of
 * their squares, and of their count) are kept, from which the loss of any
 * painting of the grid is told without going back to the picture. The
 * picture must outlive the grid. Throws std::bad_alloc. */
enum : int64_t { MOST_SUMMED_CELLS = int64_t(1) << 20 };
struct CoarseGrid {
	const DecodedPicture *picture;
	int32_t scale;
	uint32_t background; /* what clear pixels show, for the loss */
	DecodedPicture means; /* empty at scale 1 */
	std::vector<uint64_t> table; /* the sums from (0, 0) to each corner, 5 a corner */

	const DecodedPicture &Cells() const { return scale == 1 ? *picture : means; }
	bool Summed() const { return !table.empty(); }
	/* The sums over the cells x .. x + w - 1, y .. y + h - 1. */
	void Sums(int32_t x, int32_t y, int32_t w, int32_t h, uint64_t out[5]) const;
};
CoarseGrid Coarsen(const DecodedPicture &picture, int32_t scale, uint32_t background);

/* A grid with fewer colours (0: as many as it has) and near colours merged
 * (tolerance 0: none). */
DecodedPicture Reduce(const DecodedPicture &grid, int colours, int tolerance);

/* The grid cut into rectangles, each painted its pixels' mean: from the
 * whole grid, the rectangle whose best cut (across or down, anywhere)
 * takes away the most squared error is cut, again and again, the cuts kept
 * in order, so that any number of rectangles can be painted. Clear cells
 * stay clear. The grid must be summed. */
class Partition {
public:
	/* Cuts until there are `most` rectangles or no cut takes error away. */
	Partition(const CoarseGrid &grid, size_t most);
	/* The grid painted with the first `count` rectangles (at most Most()). */
	DecodedPicture Paint(size_t count) const;
	size_t Most() const { return cuts_.size() + 1; }

	struct Rect {
		int32_t x, y, w, h;
	};
	/* The rectangle numbered `rect` keeps the part left of (or above) `at`
	 * columns (or rows) from its edge; a new one, numbered next, the rest. */
	struct Cut {
		uint32_t rect;
		int32_t at;
		bool rows;
	};

private:
	const CoarseGrid &grid_;
	std::vector<Cut> cuts_;
	double Error(const Rect &r) const;
};

/* The squared error, over every channel of every pixel, of the picture as
 * `drawn` (a painting of the grid) draws it, both seen over the
 * background: a clear pixel drawn in a colour, or a coloured one drawn
 * clear, is a loss like any other. */
uint64_t DrawingError(const CoarseGrid &grid, const DecodedPicture &drawn);

/* The peak signal-to-noise ratio of that error, in dB; infinite for none. */
double PeakSignalToNoise(uint64_t error, const DecodedPicture &picture);

/* The picture made width x height pixels (no more than it has) by area
 * averaging: each new pixel the mean of the part of the picture it
 * covers, each pixel there weighed by how much of it is covered; clear
 * where most of that part is clear, else the mean of what is not.
 * Throws std::bad_alloc. */
DecodedPicture AreaAverage(const DecodedPicture &picture, int32_t width, int32_t height);

/* A picture reduced: the grid it is drawn from, or the picture as it is
 * (asIs: nothing copied), what was done, and its drawing error. */
struct ReducedPicture {
	ReductionDone done;
	DecodedPicture grid;
	bool asIs;
	uint64_t error;
};

/* The grid painted so (null: the grid as it is, which is taken from the
 * coarse grid, or at scale 1 is the picture itself). */
ReducedPicture Painted(CoarseGrid *coarse, const ReductionDone &done, DecodedPicture *painting);

/* The picture reduced as asked, by hand. Throws std::bad_alloc. */
ReducedPicture ReduceByHand(const DecodedPicture &picture, const Reduction &asked, uint32_t background);

#endif
