/* Reductions by hand: the page of --scale, --colours and --tolerance, alone
 * and together, with clear pixels or without, draws what a plain model of
 * each reduction computes from the picture, pixel for pixel, and the loss
 * the conversion tells is the loss of that drawing against the picture. */
#include "convert_fixture.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "page_drawing.h"
#include "picture_writer.h"

namespace {

/* Pictures are 0x00RRGGBB, DRAWN_CLEAR for a clear pixel. */
struct Picture {
	int32_t width, height;
	std::vector<uint32_t> rgb;
};

uint32_t
Channel(uint32_t rgb, int c) /* 0 red, 1 green, 2 blue */
{
	return rgb >> (16 - 8 * c) & 0xFF;
}

uint32_t
Rgb(uint64_t r, uint64_t g, uint64_t b)
{
	return uint32_t(r << 16 | g << 8 | b);
}

/* Rounded to the nearest, halves up: in floating point, not the integer
 * arithmetic the conversion uses. */
uint32_t
Mean(const uint64_t sum[3], uint64_t n)
{
	auto mean = [n](uint64_t s) { return uint64_t(std::floor(double(s) / double(n) + 0.5)); };
	return Rgb(mean(sum[0]), mean(sum[1]), mean(sum[2]));
}

/* Each block of scale x scale pixels the mean of those not clear, or clear
 * where most of the block is. */
Picture
ModelScale(const Picture &p, int32_t scale)
{
	Picture grid{(p.width + scale - 1) / scale, (p.height + scale - 1) / scale, {}};
	for (int32_t gy = 0; gy < grid.height; gy++)
		for (int32_t gx = 0; gx < grid.width; gx++) {
			uint64_t sum[3] = {0, 0, 0}, n = 0, opaque = 0;
			for (int32_t y = gy * scale; y < std::min(p.height, gy * scale + scale); y++)
				for (int32_t x = gx * scale; x < std::min(p.width, gx * scale + scale); x++) {
					const uint32_t c = p.rgb[size_t(y) * size_t(p.width) + size_t(x)];
					n++;
					if (c == DRAWN_CLEAR)
						continue;
					opaque++;
					for (int k = 0; k < 3; k++)
						sum[k] += Channel(c, k);
				}
			grid.rgb.push_back(2 * (n - opaque) > n ? DRAWN_CLEAR : Mean(sum, opaque));
		}
	return grid;
}

/* Median cut over the distinct colours and how often each shows: the box
 * and channel of the widest range (the first box, then red, green, blue
 * on a tie) is sorted by that channel, then by blue, green, red, and cut
 * after the colour that brings half its pixels; each colour becomes its
 * box's mean. */
void
ModelFewerColours(Picture *p, int colours)
{
	using Shade = std::pair<uint32_t, uint64_t>;
	auto packed = [](uint32_t rgb) { return Channel(rgb, 0) | Channel(rgb, 1) << 8 | Channel(rgb, 2) << 16; };
	std::map<uint32_t, uint64_t> counts; /* by blue, green, red */
	for (uint32_t c : p->rgb)
		if (c != DRAWN_CLEAR)
			counts[packed(c)]++;
	std::vector<std::vector<Shade>> boxes(1);
	for (const auto &[pack, count] : counts)
		boxes[0].push_back({Rgb(pack & 0xFF, pack >> 8 & 0xFF, pack >> 16), count});
	while (int(boxes.size()) < colours) {
		int most = 0, channel = 0;
		size_t widest = 0;
		for (size_t b = 0; b < boxes.size(); b++)
			for (int c = 0; c < 3 && boxes[b].size() > 1; c++) {
				uint32_t low = 255, high = 0;
				for (const Shade &s : boxes[b])
					low = std::min(low, Channel(s.first, c)), high = std::max(high, Channel(s.first, c));
				if (int(high - low) > most)
					most = int(high - low), widest = b, channel = c;
			}
		if (most == 0)
			break;
		std::vector<Shade> box = boxes[widest];
		std::sort(box.begin(), box.end(), [&](const Shade &a, const Shade &b) {
			return Channel(a.first, channel) != Channel(b.first, channel)
			               ? Channel(a.first, channel) < Channel(b.first, channel)
			               : packed(a.first) < packed(b.first);
		});
		uint64_t total = 0, seen = 0;
		for (const Shade &s : box)
			total += s.second;
		size_t cut = 1;
		while (cut < box.size() - 1 && 2 * (seen += box[cut - 1].second) < total)
			cut++;
		boxes[widest].assign(box.begin(), box.begin() + long(cut));
		boxes.emplace_back(box.begin() + long(cut), box.end());
	}
	std::map<uint32_t, uint32_t> becomes;
	for (const std::vector<Shade> &box : boxes) {
		if (box.empty())
			continue; /* no colour at all: nothing becomes anything */
		uint64_t sum[3] = {0, 0, 0}, n = 0;
		for (const Shade &s : box) {
			for (int k = 0; k < 3; k++)
				sum[k] += Channel(s.first, k) * s.second;
			n += s.second;
		}
		for (const Shade &s : box)
			becomes[s.first] = Mean(sum, n);
	}
	for (uint32_t &c : p->rgb)
		if (c != DRAWN_CLEAR)
			c = becomes[c];
}

/* From each pixel not yet taken, a rectangle grown right, then down, over
 * pixels each channel of which is within the tolerance of its first's,
 * painted its pixels' mean; clear pixels merge only with clear ones. */
void
ModelMergeNear(Picture *p, int tolerance)
{
	auto near = [&](uint32_t a, uint32_t b) {
		if (a == DRAWN_CLEAR || b == DRAWN_CLEAR)
			return a == b;
		for (int k = 0; k < 3; k++)
			if (std::abs(int(Channel(a, k)) - int(Channel(b, k))) > tolerance)
				return false;
		return true;
	};
	std::vector<bool> taken(p->rgb.size());
	auto at = [&](int32_t x, int32_t y) { return size_t(y) * size_t(p->width) + size_t(x); };
	for (int32_t y = 0; y < p->height; y++)
		for (int32_t x = 0; x < p->width; x++) {
			if (taken[at(x, y)])
				continue;
			const uint32_t seed = p->rgb[at(x, y)];
			int32_t cols = 1, rows = 1;
			while (x + cols < p->width && !taken[at(x + cols, y)] && near(p->rgb[at(x + cols, y)], seed))
				cols++;
			for (bool grows = true; grows && y + rows < p->height;) {
				for (int32_t c = 0; c < cols; c++)
					grows = grows && !taken[at(x + c, y + rows)] && near(p->rgb[at(x + c, y + rows)], seed);
				rows += grows;
			}
			uint64_t sum[3] = {0, 0, 0};
			for (int32_t r = 0; r < rows; r++)
				for (int32_t c = 0; c < cols; c++)
					for (int k = 0; k < 3; k++)
						sum[k] += Channel(p->rgb[at(x + c, y + r)], k);
			const uint32_t mean = seed == DRAWN_CLEAR ? DRAWN_CLEAR : Mean(sum, uint64_t(cols) * uint64_t(rows));
			for (int32_t r = 0; r < rows; r++)
				for (int32_t c = 0; c < cols; c++) {
					taken[at(x + c, y + r)] = true;
					p->rgb[at(x + c, y + r)] = mean;
				}
		}
}

/* Flat shapes, a gradient and noise; with `clear`, a clear frame round it
 * and a clear checkerboard in one corner. */
Picture
Sample(int32_t width, int32_t height, bool clear, unsigned seed)
{
	std::mt19937 random(seed);
	Picture p{width, height, {}};
	for (int32_t y = 0; y < height; y++)
		for (int32_t x = 0; x < width; x++) {
			uint32_t c;
			if ((x - 20) * (x - 20) + (y - 15) * (y - 15) < 120)
				c = 0xD02030;
			else if (x > width / 2)
				c = Rgb(uint32_t(x * 255 / width), uint32_t(y * 255 / height), 128);
			else
				c = random() % 4 ? 0x2060D0 : random() & 0xFFFFFF;
			if (clear && (x < 3 || y < 2 || x >= width - 2 || (x < 12 && y > height - 10 && (x + y) % 2)))
				c = DRAWN_CLEAR;
			p.rgb.push_back(c);
		}
	return p;
}

/* A few coloured pixels on a clear ground, fewer than half of any block
 * of a coarser grid, which is then wholly clear. */
Picture
Sparse(int32_t width, int32_t height)
{
	Picture p{width, height, {}};
	for (int32_t y = 0; y < height; y++)
		for (int32_t x = 0; x < width; x++)
			p.rgb.push_back(x % 3 == 1 && y % 3 == 1 ? Rgb(uint32_t(x * 40 % 256), uint32_t(y * 60 % 256), 200) : DRAWN_CLEAR);
	return p;
}

std::string
PngOf(const Picture &p)
{
	PngFields png;
	png.width = uint32_t(p.width), png.height = uint32_t(p.height), png.colorType = 6;
	for (uint32_t c : p.rgb)
		png.samples.insert(png.samples.end(), {Channel(c, 0), Channel(c, 1), Channel(c, 2), c == DRAWN_CLEAR ? 0u : 255u});
	const Bytes bytes = MakePng(png);
	return std::string(bytes.begin(), bytes.end());
}

TEST_F(ConvertTest, ReductionsByHandDrawWhatAPlainModelComputes)
{
	struct Asked {
		int32_t scale;
		int colours, tolerance;
	};
	const Asked asked[] = {{3, 0, 0}, {1, 12, 0}, {1, 0, 18}, {4, 0, 0}, {2, 7, 9}, {5, 3, 40}, {1, 2, 255}, {2, 2, 0}};
	const std::pair<Picture, bool> pictures[] = {
		{Sample(61, 43, false, 5), false}, {Sample(61, 43, true, 7), true}, {Sparse(20, 14), true}};
	for (const auto &[picture, clear] : pictures) {
		WriteFile(input, PngOf(picture));
		for (const Asked &a : asked) {
			SCOPED_TRACE(testing::Message() << picture.width << "x" << picture.height << ", scale " << a.scale
			                                << ", colours " << a.colours << ", tolerance " << a.tolerance
			                                << (clear ? ", clear kept" : ""));
			PageOptions options = DEFAULT_PAGE_OPTIONS;
			options.fragment = true;
			options.keepClear = clear;
			options.background = 0x30C0F0; /* packed: red 0xF0, green 0xC0, blue 0x30 */
			options.reduction = Reduction{a.scale, a.colours, a.tolerance};
			PageTotals totals{};
			ASSERT_EQ(ConvertPicture(input.c_str(), output.c_str(), 1, options, &totals), 0);
			const Drawing drawn = DrawTable(ReadFile(output));
			ASSERT_EQ(drawn.width, picture.width);
			ASSERT_EQ(drawn.height, picture.height);

			Picture model = ModelScale(picture, a.scale);
			if (a.colours > 0)
				ModelFewerColours(&model, a.colours);
			if (a.tolerance > 0)
				ModelMergeNear(&model, a.tolerance);
			long wrong = 0;
			for (int32_t y = 0; y < picture.height; y++)
				for (int32_t x = 0; x < picture.width; x++)
					wrong += drawn.at(x, y) != model.rgb[size_t(y / a.scale) * size_t(model.width) + size_t(x / a.scale)];
			EXPECT_EQ(wrong, 0) << "pixels drawn otherwise than the model paints them";
			ExpectToldLoss(totals.psnr, DrawnPsnr(drawn, picture.rgb, 0xF0C030));
		}
	}
	EXPECT_TRUE(recorder.notices().empty());
}

/* Area averaging in floating point: each new pixel the mean of the
 * rectangle of the picture it covers, each pixel weighed by the area of
 * it covered; clear where most of that area is clear. */
Picture
ModelAreaAverage(const Picture &p, int32_t width, int32_t height)
{
	Picture out{width, height, {}};
	const double sx = double(p.width) / width, sy = double(p.height) / height;
	for (int32_t Y = 0; Y < height; Y++)
		for (int32_t X = 0; X < width; X++) {
			double sum[3] = {0, 0, 0}, opaque = 0, clear = 0;
			for (int32_t y = int32_t(Y * sy); y < std::min(p.height, int32_t(std::ceil((Y + 1) * sy))); y++)
				for (int32_t x = int32_t(X * sx); x < std::min(p.width, int32_t(std::ceil((X + 1) * sx))); x++) {
					const double area = std::max(0.0, std::min(x + 1.0, (X + 1) * sx) - std::max(double(x), X * sx)) *
					                    std::max(0.0, std::min(y + 1.0, (Y + 1) * sy) - std::max(double(y), Y * sy));
					const uint32_t c = p.rgb[size_t(y) * size_t(p.width) + size_t(x)];
					if (c == DRAWN_CLEAR) {
						clear += area;
						continue;
					}
					opaque += area;
					for (int k = 0; k < 3; k++)
						sum[k] += area * Channel(c, k);
				}
			out.rgb.push_back(clear > opaque ? DRAWN_CLEAR
			                                 : Rgb(uint64_t(std::lround(sum[0] / opaque)), uint64_t(std::lround(sum[1] / opaque)),
			                                       uint64_t(std::lround(sum[2] / opaque))));
		}
	return out;
}

/* --width: a table too wide is drawn at the largest cell size that fits,
 * or, where none does, from the picture made that many pixels wide by
 * area averaging, at cell size 1; the height follows. On a logo, a
 * photograph-like picture with clear pixels, and one a pixel wide; with a
 * budget, the budget is met at that width. */
TEST_F(ConvertTest, AWidthIsMetByTheCellSizeOrByAreaAveraging)
{
	struct Case {
		Picture picture;
		int cellSize;
		long long width;
		int32_t drawnWidth, drawnHeight; /* the picture as drawn */
		int drawnCellSize;
	};
	const Picture sample = Sample(137, 91, true, 3), narrow = Sample(1, 40, false, 4);
	const Case cases[] = {
		{sample, 4, 300, 137, 91, 2},  /* 548 pixels wide at 4: 274 at 2 */
		{sample, 1, 100, 100, 66, 1},  /* 91 * 100 / 137 = 66.4 */
		{sample, 3, 59, 59, 39, 1},    /* 91 * 59 / 137 = 39.2 */
		{sample, 2, 1000, 137, 91, 2}, /* fits already */
		{narrow, 9, 4, 1, 40, 4},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(testing::Message() << c.picture.width << "x" << c.picture.height << " at " << c.cellSize
		                                << ", at most " << c.width << " wide");
		WriteFile(input, PngOf(c.picture));
		for (long long budget : {0LL, 9000LL}) {
			PageOptions options = DEFAULT_PAGE_OPTIONS;
			options.fragment = options.keepClear = true;
			options.width = c.width;
			options.maxBytes = budget;
			PageTotals totals{};
			ASSERT_EQ(ConvertPicture(input.c_str(), output.c_str(), c.cellSize, options, &totals), 0);
			EXPECT_EQ(totals.width, c.drawnWidth);
			EXPECT_EQ(totals.height, c.drawnHeight);
			EXPECT_EQ(totals.cellSize, c.drawnCellSize);
			const Drawing drawn = DrawTable(ReadFile(output));
			EXPECT_LE(drawn.width, c.width);
			EXPECT_EQ(drawn.width, int64_t(c.drawnWidth) * c.drawnCellSize);
			EXPECT_EQ(drawn.height, int64_t(c.drawnHeight) * c.drawnCellSize);
			if (budget > 0) {
				EXPECT_LE(totals.bytesSent, budget);
				continue;
			}
			const Picture model = c.drawnWidth == c.picture.width ? c.picture
			                                                      : ModelAreaAverage(c.picture, c.drawnWidth, c.drawnHeight);
			long wrong = 0;
			for (int32_t y = 0; y < c.drawnHeight; y++)
				for (int32_t x = 0; x < c.drawnWidth; x++) {
					const uint32_t a = drawn.at(int64_t(x) * c.drawnCellSize, int64_t(y) * c.drawnCellSize),
					               b = model.rgb[size_t(y) * size_t(model.width) + size_t(x)];
					bool near = (a == DRAWN_CLEAR) == (b == DRAWN_CLEAR);
					for (int k = 0; k < 3 && near && a != DRAWN_CLEAR; k++)
						near = std::abs(int(Channel(a, k)) - int(Channel(b, k))) <= 1;
					wrong += !near;
				}
			EXPECT_EQ(wrong, 0) << "pixels drawn otherwise than an area average makes them";
		}
	}
	EXPECT_TRUE(recorder.notices().empty());
}

} // namespace
