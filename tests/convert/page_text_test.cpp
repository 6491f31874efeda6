/* Pages without CSS and fragments for a mail: short lines whatever the
 * cells (the widest numbers and spans there are), broken only between
 * cells and rows, and the table still drawing the picture cell for cell. */
#include "convert_fixture.h"

#include <random>

#include "page_drawing.h"

namespace {

/* Every line ends in CR LF and takes at most 76 characters as quoted-
 * printable sends it; a line begins a row, a cell, a row's end or the
 * document's own text. */
void
ExpectShortLines(const std::string &page)
{
	size_t at = 0, lines = 0;
	while (at < page.size()) {
		const size_t end = page.find("\r\n", at);
		ASSERT_NE(end, std::string::npos) << "a line without CR LF at " << at;
		const std::string line = page.substr(at, end - at);
		EXPECT_LE(line.size() + 2 * size_t(std::count(line.begin(), line.end(), '=')), 76u) << line;
		bool known = false;
		for (const char *start : {"<TR>", "<TD", "</TR>", "<TABLE ", "style=", "</TABLE>", "<HTML>", "<HEAD>", "<BODY>",
		                          "</BODY>", "</HTML>"})
			known = known || line.rfind(start, 0) == 0;
		EXPECT_TRUE(known) << "a line broken inside a tag: " << line;
		at = end + 2;
		lines++;
	}
	EXPECT_GT(lines, 2u);
}

TEST_F(ConvertTest, PagesWithoutCssKeepShortLinesAndDrawThePicture)
{
	struct Picture {
		int32_t width, height;
		int cellSize;
		std::vector<uint32_t> rgb;
	};
	std::mt19937 random(76);
	std::vector<Picture> pictures;
	/* Runs past the longest span; the largest cell size. */
	Picture wide{1500, 3, 3, {}};
	for (int32_t i = 0; i < 1500 * 3; i++)
		wide.rgb.push_back(i / 1500 == 1 && i % 1500 % 700 == 5 ? W : R);
	Picture tall{2, 1200, 7, std::vector<uint32_t>(2 * 1200, 0x123456)};
	pictures.push_back(wide);
	pictures.push_back(tall);
	pictures.push_back(Picture{3, 2, 999, {R, R, W, R, R, R}});
	for (int round = 0; round < 20; round++) {
		Picture p{1 + int32_t(random() % 40), 1 + int32_t(random() % 30), 1 + int(random() % 99), {}};
		for (int32_t i = 0; i < p.width * p.height; i++)
			p.rgb.push_back(i >= p.width && random() % 3 ? p.rgb[size_t(i - p.width)] : random() % 5 * 0x332211);
		pictures.push_back(p);
	}
	for (const Picture &p : pictures) {
		WriteFile(input, MakeBmp24(p.width, p.height, p.rgb));
		for (bool fragment : {false, true}) {
			SCOPED_TRACE(testing::Message() << p.width << "x" << p.height << " at " << p.cellSize
			                                << (fragment ? ", fragment" : ", without CSS"));
			PageOptions options = DEFAULT_PAGE_OPTIONS;
			options.noCss = true;
			options.fragment = fragment;
			ASSERT_EQ(ConvertPicture(input.c_str(), output.c_str(), p.cellSize, options, nullptr), 0);
			const std::string page = ReadFile(output);
			ExpectShortLines(page);
			const Drawing drawn = DrawTable(page);
			ASSERT_EQ(drawn.width, int64_t(p.width) * p.cellSize);
			ASSERT_EQ(drawn.height, int64_t(p.height) * p.cellSize);
			long wrong = 0;
			for (int64_t y = 0; y < drawn.height; y += p.cellSize)
				for (int64_t x = 0; x < drawn.width; x += p.cellSize)
					wrong += drawn.at(x, y) != p.rgb[size_t(y / p.cellSize) * size_t(p.width) + size_t(x / p.cellSize)];
			EXPECT_EQ(wrong, 0);
		}
	}
	EXPECT_TRUE(recorder.notices().empty());
}

} // namespace
