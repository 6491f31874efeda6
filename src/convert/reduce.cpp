/* Pictures made cheaper to draw, by integer arithmetic alone, so that every
 * system makes the same page of them. */
#include "convert/reduce.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

static uint32_t
Channel(uint32_t color, int c)
{
	return color >> (8 * c) & 0xFF;
}

static uint32_t
Mean(const uint64_t sum[3], uint64_t count)
{
	return PackColor(uint32_t((sum[0] + count / 2) / count), uint32_t((sum[1] + count / 2) / count),
	                 uint32_t((sum[2] + count / 2) / count));
}

CoarseGrid
Coarsen(const DecodedPicture &picture, int32_t scale)
{
	CoarseGrid coarse;
	if (scale == 1) { /* the picture itself; its error is told pixel by pixel */
		coarse.means = picture;
		return coarse;
	}
	DecodedPicture &grid = coarse.means;
	grid.width = (picture.width + scale - 1) / scale;
	grid.height = (picture.height + scale - 1) / scale;
	grid.pixels.resize(size_t(grid.width) * size_t(grid.height));
	coarse.sums.assign(grid.pixels.size() * 7, 0);
	for (int32_t y = 0; y < picture.height; y++) {
		const uint32_t *row = picture.pixels.data() + size_t(y) * size_t(picture.width);
		uint64_t *sum = &coarse.sums[size_t(y / scale) * size_t(grid.width) * 7];
		for (int32_t x = 0; x < picture.width; sum += 7) {
			for (const int32_t end = std::min(x + scale, picture.width); x < end; x++) {
				const uint32_t p = row[x];
				if (p == CLEAR_PIXEL)
					continue;
				for (int c = 0; c < 3; c++) {
					const uint64_t v = Channel(p, c);
					sum[c] += v;
					sum[3 + c] += v * v;
				}
				sum[6]++;
			}
		}
	}
	for (size_t i = 0; i < grid.pixels.size(); i++) {
		const uint64_t *sum = &coarse.sums[i * 7];
		grid.pixels[i] = sum[6] ? Mean(sum, sum[6]) : CLEAR_PIXEL;
	}
	return coarse;
}

namespace {

struct Shade {
	uint32_t color;
	uint64_t count;
	uint32_t box;
};

} // namespace

/* Median cut: the box of the widest range of one channel is cut where half
 * its pixels lie on either side, until there are `colours` boxes; each
 * colour becomes its box's mean. */
static void
FewerColours(DecodedPicture *grid, int colours)
{
	std::vector<uint32_t> sorted;
	for (uint32_t p : grid->pixels)
		if (p != CLEAR_PIXEL)
			sorted.push_back(p);
	std::sort(sorted.begin(), sorted.end());
	std::vector<Shade> shades;
	for (uint32_t p : sorted) {
		if (shades.empty() || shades.back().color != p)
			shades.push_back({p, 0, 0});
		shades.back().count++;
	}
	struct Box {
		size_t begin, end;
	};
	std::vector<Box> boxes = {{0, shades.size()}};
	auto range = [&](const Box &b, int c) {
		uint32_t low = 255, high = 0;
		for (size_t i = b.begin; i < b.end; i++)
			low = std::min(low, Channel(shades[i].color, c)), high = std::max(high, Channel(shades[i].color, c));
		return b.end - b.begin > 1 ? int(high - low) : -1;
	};
	while (int(boxes.size()) < colours) {
		size_t widest = 0;
		int channel = 0, most = -1;
		for (size_t b = 0; b < boxes.size(); b++)
			for (int c = 0; c < 3; c++)
				if (const int r = range(boxes[b], c); r > most)
					most = r, widest = b, channel = c;
		if (most <= 0)
			break;
		const Box box = boxes[widest];
		std::sort(shades.begin() + long(box.begin), shades.begin() + long(box.end),
		          [channel](const Shade &a, const Shade &b) {
			          const uint32_t ca = Channel(a.color, channel), cb = Channel(b.color, channel);
			          return ca != cb ? ca < cb : a.color < b.color;
		          });
		uint64_t total = 0, seen = 0;
		for (size_t i = box.begin; i < box.end; i++)
			total += shades[i].count;
		size_t cut = box.begin + 1;
		for (size_t i = box.begin; i < box.end - 1; i++) {
			seen += shades[i].count;
			cut = i + 1;
			if (2 * seen >= total)
				break;
		}
		boxes[widest] = {box.begin, cut};
		boxes.push_back({cut, box.end});
	}
	std::vector<uint32_t> means(boxes.size());
	for (size_t b = 0; b < boxes.size(); b++) {
		uint64_t sum[3] = {0, 0, 0}, count = 0;
		for (size_t i = boxes[b].begin; i < boxes[b].end; i++) {
			for (int c = 0; c < 3; c++)
				sum[c] += uint64_t(Channel(shades[i].color, c)) * shades[i].count;
			count += shades[i].count;
			shades[i].box = uint32_t(b);
		}
		means[b] = Mean(sum, count);
	}
	std::sort(shades.begin(), shades.end(), [](const Shade &a, const Shade &b) { return a.color < b.color; });
	for (uint32_t &p : grid->pixels) {
		if (p == CLEAR_PIXEL)
			continue;
		const auto at = std::lower_bound(shades.begin(), shades.end(), p,
		                                 [](const Shade &s, uint32_t color) { return s.color < color; });
		p = means[at->box];
	}
}

static bool
Near(uint32_t a, uint32_t b, int tolerance)
{
	if (a == CLEAR_PIXEL || b == CLEAR_PIXEL)
		return a == b;
	for (int c = 0; c < 3; c++)
		if (std::abs(int(Channel(a, c)) - int(Channel(b, c))) > tolerance)
			return false;
	return true;
}

/* Rectangles grown right, then down, as far as every pixel is near the
 * first; each painted the mean of its pixels. */
static void
MergeNearColours(DecodedPicture *grid, int tolerance)
{
	const int32_t w = grid->width, h = grid->height;
	std::vector<bool> covered(size_t(w) * size_t(h));
	uint32_t *px = grid->pixels.data();
	for (int32_t y = 0; y < h; y++) {
		for (int32_t x = 0; x < w; x++) {
			const size_t at = size_t(y) * size_t(w) + size_t(x);
			if (covered[at])
				continue;
			const uint32_t seed = px[at];
			int32_t cols = 1, rows = 1;
			while (x + cols < w && !covered[at + size_t(cols)] && Near(px[at + size_t(cols)], seed, tolerance))
				cols++;
			for (bool grows = true; grows && y + rows < h; rows += grows) {
				const size_t row = at + size_t(rows) * size_t(w);
				for (int32_t c = 0; c < cols && grows; c++)
					grows = !covered[row + size_t(c)] && Near(px[row + size_t(c)], seed, tolerance);
			}
			uint64_t sum[3] = {0, 0, 0};
			for (int32_t r = 0; r < rows; r++)
				for (int32_t c = 0; c < cols; c++) {
					const size_t i = at + size_t(r) * size_t(w) + size_t(c);
					covered[i] = true;
					for (int k = 0; k < 3; k++)
						sum[k] += Channel(px[i], k);
				}
			const uint32_t mean = seed == CLEAR_PIXEL ? CLEAR_PIXEL : Mean(sum, uint64_t(cols) * uint64_t(rows));
			for (int32_t r = 0; r < rows; r++)
				std::fill(px + at + size_t(r) * size_t(w), px + at + size_t(r) * size_t(w) + size_t(cols), mean);
		}
	}
}

DecodedPicture
Reduce(const DecodedPicture &grid, int colours, int tolerance)
{
	DecodedPicture reduced = grid;
	if (colours > 0)
		FewerColours(&reduced, colours);
	if (tolerance > 0)
		MergeNearColours(&reduced, tolerance);
	return reduced;
}

/* Over a block, the sum of (p - g)^2 is S2 - 2 g S1 + n g^2, exactly. */
uint64_t
DrawingError(const CoarseGrid &grid, const DecodedPicture &drawn)
{
	uint64_t error = 0;
	if (grid.sums.empty()) {
		for (size_t i = 0; i < drawn.pixels.size(); i++) {
			const uint32_t a = grid.means.pixels[i], b = drawn.pixels[i];
			if (a == CLEAR_PIXEL || b == CLEAR_PIXEL)
				continue;
			for (int c = 0; c < 3; c++) {
				const int64_t d = int64_t(Channel(a, c)) - int64_t(Channel(b, c));
				error += uint64_t(d * d);
			}
		}
		return error;
	}
	for (size_t i = 0; i < drawn.pixels.size(); i++) {
		const uint64_t *sum = &grid.sums[i * 7];
		if (drawn.pixels[i] == CLEAR_PIXEL)
			continue;
		for (int c = 0; c < 3; c++) {
			const uint64_t g = Channel(drawn.pixels[i], c);
			error += sum[3 + c] + sum[6] * g * g - 2 * g * sum[c];
		}
	}
	return error;
}

double
PeakSignalToNoise(uint64_t error, const DecodedPicture &picture)
{
	if (error == 0)
		return std::numeric_limits<double>::infinity();
	const double mse = double(error) / (3.0 * double(picture.width) * double(picture.height));
	return 10.0 * std::log10(255.0 * 255.0 / mse);
}
