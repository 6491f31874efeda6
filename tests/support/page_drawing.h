#ifndef TILERY_TESTS_PAGE_DRAWING_H
#define TILERY_TESTS_PAGE_DRAWING_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

/* What a page without CSS draws, read from its table the way a browser
 * lays it out when every column takes its width from a first-row cell
 * that spans nothing and every row its height from a first-column cell:
 * the cells placed by their spans, each a colour (0x00RRGGBB) or clear. */

constexpr uint32_t DRAWN_CLEAR = uint32_t(1) << 24;

struct Drawing {
	int64_t width = 0, height = 0; /* screen pixels */
	std::vector<uint32_t> pixels;
	uint32_t at(int64_t x, int64_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

inline int64_t
Attribute(const std::string &tag, const char *name, int64_t otherwise)
{
	const size_t at = tag.find(std::string(" ") + name + "=");
	return at == std::string::npos ? otherwise : std::atoll(tag.c_str() + at + std::string(name).size() + 2);
}

inline Drawing
DrawTable(const std::string &page)
{
	struct Cell {
		int64_t cols, rows, width, height;
		uint32_t color;
	};
	std::vector<std::vector<Cell>> rows;
	for (size_t at = page.find("<T"); at != std::string::npos; at = page.find("<T", at + 1)) {
		if (page.compare(at, 4, "<TR>") == 0) {
			rows.emplace_back();
			continue;
		}
		if (page.compare(at, 3, "<TD") != 0)
			continue;
		const std::string tag = page.substr(at, page.find('>', at) - at);
		const size_t color = tag.find("bgcolor=#");
		EXPECT_FALSE(rows.empty()) << "a cell before the first row";
		if (rows.empty())
			return Drawing();
		rows.back().push_back({Attribute(tag, "colspan", 1), Attribute(tag, "rowspan", 1), Attribute(tag, "width", -1),
		                       Attribute(tag, "height", -1),
		                       color == std::string::npos ? DRAWN_CLEAR
		                                                  : uint32_t(std::stoul(tag.substr(color + 9, 6), nullptr, 16))});
	}
	if (rows.empty())
		return Drawing();
	int64_t columns = 0;
	for (const Cell &c : rows[0])
		columns += c.cols;
	std::vector<int64_t> widths(size_t(columns), -1), heights(rows.size(), -1);
	std::vector<uint32_t> grid(size_t(columns) * rows.size(), 0);
	std::vector<bool> owned(grid.size(), false);
	for (size_t y = 0; y < rows.size(); y++) {
		int64_t x = 0;
		for (const Cell &c : rows[y]) {
			while (x < columns && owned[y * size_t(columns) + size_t(x)])
				x++;
			EXPECT_LE(x + c.cols, columns) << "row " << y;
			EXPECT_LE(y + size_t(c.rows), rows.size()) << "row " << y;
			if (x + c.cols > columns || y + size_t(c.rows) > rows.size())
				return Drawing();
			if (y == 0)
				widths[size_t(x)] = c.width;
			if (x == 0)
				heights[y] = c.height;
			for (int64_t r = 0; r < c.rows; r++)
				for (int64_t k = 0; k < c.cols; k++) {
					const size_t i = (y + size_t(r)) * size_t(columns) + size_t(x + k);
					EXPECT_FALSE(owned[i]) << "two cells hold one place";
					owned[i] = true;
					grid[i] = c.color;
				}
			x += c.cols;
		}
	}
	Drawing drawn;
	std::vector<int64_t> column, row; /* the grid column and row of each screen pixel */
	for (size_t x = 0; x < widths.size(); x++)
		for (int64_t i = 0; i < widths[x]; i++)
			column.push_back(int64_t(x));
	for (size_t y = 0; y < heights.size(); y++)
		for (int64_t i = 0; i < heights[y]; i++)
			row.push_back(int64_t(y));
	drawn.width = int64_t(column.size());
	drawn.height = int64_t(row.size());
	for (int64_t y : row)
		for (int64_t x : column)
			drawn.pixels.push_back(grid[size_t(y) * size_t(columns) + size_t(x)]);
	return drawn;
}

/* The peak signal-to-noise ratio of a drawing (at cell size 1) against the
 * picture (0x00RRGGBB, DRAWN_CLEAR for a clear pixel), both seen over the
 * background; infinite for none. */
inline double
DrawnPsnr(const Drawing &drawn, const std::vector<uint32_t> &picture, uint32_t background)
{
	double error = 0;
	for (size_t i = 0; i < picture.size(); i++) {
		const uint32_t a = picture[i] == DRAWN_CLEAR ? background : picture[i];
		const uint32_t b = drawn.pixels[i] == DRAWN_CLEAR ? background : drawn.pixels[i];
		for (int shift = 0; shift < 24; shift += 8) {
			const double d = double(a >> shift & 0xFF) - double(b >> shift & 0xFF);
			error += d * d;
		}
	}
	return error == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * 3.0 * double(picture.size()) / error);
}

/* The loss a conversion told is the loss of its drawing. */
inline void
ExpectToldLoss(double told, double drawn)
{
	if (std::isinf(drawn)) {
		EXPECT_TRUE(std::isinf(told)) << "told " << told << " dB for an exact drawing";
	} else {
		EXPECT_NEAR(told, drawn, 1e-9);
	}
}

#endif
