/* Pictures made cheaper to draw, so that every system makes the same page
 * of them: colours by integer arithmetic alone; the partition's errors in
 * doubles, by + - * / only, which IEEE rounding makes alike everywhere. */
#include "reduce/reduce.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
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

/* The sums of a block's pixels that are not clear: red, green, blue, their
 * squares together, and their count. */
enum { SUMS = 5 };

static void
AddPixel(uint32_t p, uint64_t sum[SUMS])
{
	if (p == CLEAR_PIXEL)
		return;
	for (int c = 0; c < 3; c++) {
		const uint64_t v = Channel(p, c);
		sum[c] += v;
		sum[3] += v * v;
	}
	sum[4]++;
}

/* One pass over the picture, a row of the grid at a time: each cell's
 * mean, or clear where most of its block is, and the sums table. */
CoarseGrid
Coarsen(const DecodedPicture &picture, int32_t scale, uint32_t background)
{
	CoarseGrid coarse{&picture, scale, background, {}, {}};
	const int32_t width = (picture.width + scale - 1) / scale, height = (picture.height + scale - 1) / scale;
	const bool summed = int64_t(width) * height <= MOST_SUMMED_CELLS;
	if (scale == 1 && !summed)
		return coarse;
	DecodedPicture &means = coarse.means;
	if (scale > 1) {
		means.width = width;
		means.height = height;
		means.pixels.resize(size_t(width) * size_t(height));
	}
	const size_t stride = size_t(width) + 1;
	if (summed)
		coarse.table.assign(stride * (size_t(height) + 1) * SUMS, 0);
	std::vector<uint64_t> row(size_t(width) * SUMS);
	for (int32_t gy = 0; gy < height; gy++) {
		std::fill(row.begin(), row.end(), 0);
		const int32_t bottom = std::min(picture.height, (gy + 1) * scale);
		for (int32_t y = gy * scale; y < bottom; y++) {
			const uint32_t *px = picture.pixels.data() + size_t(y) * size_t(picture.width);
			uint64_t *sum = row.data();
			for (int32_t x = 0; x < picture.width; sum += SUMS)
				for (const int32_t end = std::min(x + scale, picture.width); x < end; x++)
					AddPixel(px[x], sum);
		}
		const int64_t rows = bottom - int64_t(gy) * scale;
		uint64_t across[SUMS] = {0, 0, 0, 0, 0};
		for (int32_t gx = 0; gx < width; gx++) {
			const uint64_t *sum = &row[size_t(gx) * SUMS];
			if (scale > 1) {
				const uint64_t pixels = uint64_t(rows * (std::min(picture.width, (gx + 1) * scale) - int64_t(gx) * scale));
				means.pixels[size_t(gy) * size_t(width) + size_t(gx)] =
					2 * (pixels - sum[4]) > pixels ? CLEAR_PIXEL : Mean(sum, sum[4]);
			}
			if (summed) {
				uint64_t *out = &coarse.table[((size_t(gy) + 1) * stride + size_t(gx) + 1) * SUMS];
				const uint64_t *above = &coarse.table[(size_t(gy) * stride + size_t(gx) + 1) * SUMS];
				for (int k = 0; k < SUMS; k++)
					out[k] = above[k] + (across[k] += sum[k]);
			}
		}
	}
	return coarse;
}

void
CoarseGrid::Sums(int32_t x, int32_t y, int32_t w, int32_t h, uint64_t out[5]) const
{
	const size_t stride = size_t(Cells().width) + 1;
	const uint64_t *a = &table[(size_t(y) * stride + size_t(x)) * SUMS];
	const uint64_t *b = &table[(size_t(y) * stride + size_t(x + w)) * SUMS];
	const uint64_t *c = &table[(size_t(y + h) * stride + size_t(x)) * SUMS];
	const uint64_t *d = &table[(size_t(y + h) * stride + size_t(x + w)) * SUMS];
	for (int k = 0; k < SUMS; k++)
		out[k] = d[k] - b[k] - c[k] + a[k];
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
	/* A grid wholly clear (a coarse one where most of each block is) has
	 * no colour to choose from. */
	if (sorted.empty())
		return;
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

/* A clear pixel, drawn or not, shows the background. */
static uint32_t
Seen(uint32_t p, uint32_t background)
{
	return p == CLEAR_PIXEL ? background : p;
}

static uint64_t
Distance(uint32_t a, uint32_t b)
{
	uint64_t d2 = 0;
	for (int c = 0; c < 3; c++) {
		const int64_t d = int64_t(Channel(a, c)) - int64_t(Channel(b, c));
		d2 += uint64_t(d * d);
	}
	return d2;
}

/* Over a block of n pixels, m of them not clear, drawn g: the sum over
 * those m of (p - g)^2 is S2 - 2 g S1 + m g^2, exactly; the n - m clear
 * ones each add (background - g)^2. */
uint64_t
DrawingError(const CoarseGrid &grid, const DecodedPicture &drawn)
{
	const DecodedPicture &picture = *grid.picture;
	const int32_t scale = grid.scale;
	uint64_t error = 0;
	if (grid.Summed()) {
		for (int32_t gy = 0; gy < drawn.height; gy++) {
			const int64_t rows = std::min(picture.height, (gy + 1) * scale) - int64_t(gy) * scale;
			for (int32_t gx = 0; gx < drawn.width; gx++) {
				uint64_t s[SUMS];
				grid.Sums(gx, gy, 1, 1, s);
				const uint32_t g = Seen(drawn.pixels[size_t(gy) * size_t(drawn.width) + size_t(gx)], grid.background);
				const uint64_t pixels = uint64_t(rows * (std::min(picture.width, (gx + 1) * scale) - int64_t(gx) * scale));
				uint64_t plus = s[3] + (pixels - s[4]) * Distance(grid.background, g), minus = 0;
				for (int c = 0; c < 3; c++) {
					plus += s[4] * Channel(g, c) * Channel(g, c);
					minus += 2 * Channel(g, c) * s[c];
				}
				error += plus - minus;
			}
		}
		return error;
	}
	for (int32_t y = 0; y < picture.height; y++) {
		const uint32_t *px = picture.pixels.data() + size_t(y) * size_t(picture.width);
		const uint32_t *painted = drawn.pixels.data() + size_t(y / scale) * size_t(drawn.width);
		for (int32_t x = 0; x < picture.width; x++)
			error += Distance(Seen(px[x], grid.background), Seen(painted[x / scale], grid.background));
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

/* Where a pixel of a line `from` long falls on a line `to` long (to <= from):
 * the first new pixel it covers, and how much of it, in 1/from of a new
 * pixel; the rest (to - first) of the next. */
namespace {

struct Share {
	int32_t at;
	uint64_t first;
};

} // namespace

static std::vector<Share>
Shares(int32_t from, int32_t to)
{
	std::vector<Share> shares(static_cast<size_t>(from));
	for (int64_t i = 0; i < from; i++) {
		const int64_t at = i * to / from;
		shares[size_t(i)] = Share{int32_t(at), uint64_t(std::min((i + 1) * to, (at + 1) * from) - i * to)};
	}
	return shares;
}

/* In exact integers: a pixel's weight in a new one is the product of its
 * shares across and down, and each new pixel's weights add up to the
 * picture's width times its height. A row of the picture adds to at most
 * two rows of the new one: those two are kept, 4 sums a pixel (red,
 * green, blue and the weight of what is not clear). */
DecodedPicture
AreaAverage(const DecodedPicture &picture, int32_t width, int32_t height)
{
	DecodedPicture fitted;
	fitted.width = width;
	fitted.height = height;
	fitted.pixels.resize(size_t(width) * size_t(height));
	const std::vector<Share> across = Shares(picture.width, width), down = Shares(picture.height, height);
	const uint64_t whole = uint64_t(picture.width) * uint64_t(picture.height);
	std::vector<uint64_t> row(size_t(width) * 4), sums(size_t(width) * 8);
	int32_t done = 0; /* new rows finished */
	auto finish = [&] {
		uint32_t *out = fitted.pixels.data() + size_t(done) * size_t(width);
		for (int32_t x = 0; x < width; x++) {
			const uint64_t *s = &sums[size_t(x) * 4];
			out[x] = 2 * (whole - s[3]) > whole ? CLEAR_PIXEL : Mean(s, s[3]);
		}
		std::copy(sums.begin() + long(width) * 4, sums.end(), sums.begin());
		std::fill(sums.begin() + long(width) * 4, sums.end(), 0);
		done++;
	};
	for (int32_t y = 0; y < picture.height; y++) {
		std::fill(row.begin(), row.end(), 0);
		const uint32_t *px = picture.pixels.data() + size_t(y) * size_t(picture.width);
		for (int32_t x = 0; x < picture.width; x++) {
			if (px[x] == CLEAR_PIXEL)
				continue;
			const Share share = across[size_t(x)];
			for (const auto &[at, weight] : {std::pair<int32_t, uint64_t>{share.at, share.first},
			                                 std::pair<int32_t, uint64_t>{share.at + 1, width - share.first}}) {
				if (weight == 0)
					continue;
				uint64_t *r = &row[size_t(at) * 4];
				for (int c = 0; c < 3; c++)
					r[c] += weight * Channel(px[x], c);
				r[3] += weight;
			}
		}
		const Share share = down[size_t(y)];
		while (done < share.at)
			finish();
		for (size_t i = 0; i < row.size(); i++) {
			sums[i] += share.first * row[i];
			sums[size_t(width) * 4 + i] += (uint64_t(height) - share.first) * row[i];
		}
	}
	while (done < height)
		finish();
	return fitted;
}

ReducedPicture
Painted(CoarseGrid *coarse, const ReductionDone &done, DecodedPicture *painting)
{
	const uint64_t error = DrawingError(*coarse, painting ? *painting : coarse->Cells());
	if (painting)
		return ReducedPicture{done, std::move(*painting), false, error};
	return ReducedPicture{done, std::move(coarse->means), coarse->scale == 1, error};
}

ReducedPicture
ReduceByHand(const DecodedPicture &picture, const Reduction &asked, uint32_t background)
{
	CoarseGrid coarse = Coarsen(picture, asked.scale, background);
	const ReductionDone done{asked.scale, asked.colours, asked.tolerance, 0};
	if (asked.colours == 0 && asked.tolerance == 0)
		return Painted(&coarse, done, nullptr);
	DecodedPicture reduced = Reduce(coarse.Cells(), asked.colours, asked.tolerance);
	return Painted(&coarse, done, &reduced);
}

/* The two parts of a cut at `at` columns (or rows) from r's left (or top). */
static void
Split(const Partition::Rect &r, const Partition::Cut &cut, Partition::Rect *first, Partition::Rect *second)
{
	if (cut.rows) {
		*first = {r.x, r.y, r.w, cut.at};
		*second = {r.x, r.y + cut.at, r.w, r.h - cut.at};
	} else {
		*first = {r.x, r.y, cut.at, r.h};
		*second = {r.x + cut.at, r.y, r.w - cut.at, r.h};
	}
}

Partition::Partition(const CoarseGrid &grid, size_t most) : grid_(grid)
{
	const DecodedPicture &means = grid.Cells();
	/* Cut by cut, most useful first; ties go to the older rectangle. Each
	 * rectangle waits with its best cut. */
	struct Best {
		double gain;
		Cut cut;
	};
	std::vector<Rect> rects = {Rect{0, 0, means.width, means.height}};
	auto bestCut = [this](uint32_t index, const Rect &r) {
		Best best{0, {index, 0, false}};
		const double whole = Error(r);
		for (const bool rows : {false, true}) {
			for (int32_t at = 1; at < (rows ? r.h : r.w); at++) {
				Rect a, b;
				Split(r, Cut{index, at, rows}, &a, &b);
				const double gain = whole - Error(a) - Error(b);
				if (gain > best.gain)
					best = {gain, {index, at, rows}};
			}
		}
		return best;
	};
	auto later = [](const Best &a, const Best &b) {
		return a.gain != b.gain ? a.gain < b.gain : a.cut.rect > b.cut.rect;
	};
	std::vector<Best> waiting = {bestCut(0, rects[0])};
	while (!waiting.empty() && rects.size() < most) {
		std::pop_heap(waiting.begin(), waiting.end(), later);
		const Best next = waiting.back();
		waiting.pop_back();
		if (next.gain <= 0)
			continue;
		cuts_.push_back(next.cut);
		Rect first, second;
		Split(rects[next.cut.rect], next.cut, &first, &second);
		rects[next.cut.rect] = first;
		rects.push_back(second);
		for (const uint32_t index : {next.cut.rect, uint32_t(rects.size() - 1)}) {
			const Rect &r = rects[index];
			if (r.w * int64_t(r.h) > 1) {
				waiting.push_back(bestCut(index, r));
				std::push_heap(waiting.begin(), waiting.end(), later);
			}
		}
	}
}

/* The squared error of the rectangle painted its exact mean. */
double
Partition::Error(const Rect &r) const
{
	uint64_t s[SUMS];
	grid_.Sums(r.x, r.y, r.w, r.h, s);
	if (s[4] == 0)
		return 0;
	const double n = double(s[4]);
	return double(s[3]) - (double(s[0]) * double(s[0]) + double(s[1]) * double(s[1]) + double(s[2]) * double(s[2])) / n;
}

DecodedPicture
Partition::Paint(size_t count) const
{
	const DecodedPicture &cells = grid_.Cells();
	std::vector<Rect> rects = {Rect{0, 0, cells.width, cells.height}};
	for (size_t i = 0; i + 1 < count && i < cuts_.size(); i++) {
		Rect first, second;
		Split(rects[cuts_[i].rect], cuts_[i], &first, &second);
		rects[cuts_[i].rect] = first;
		rects.push_back(second);
	}
	DecodedPicture painted = cells;
	for (const Rect &r : rects) {
		uint64_t s[SUMS];
		grid_.Sums(r.x, r.y, r.w, r.h, s);
		if (s[4] == 0)
			continue;
		const uint32_t mean = Mean(s, s[4]);
		for (int32_t y = r.y; y < r.y + r.h; y++) {
			uint32_t *row = painted.pixels.data() + size_t(y) * size_t(painted.width);
			for (int32_t x = r.x; x < r.x + r.w; x++)
				if (row[x] != CLEAR_PIXEL)
					row[x] = mean;
		}
	}
	return painted;
}
