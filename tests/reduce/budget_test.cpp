/* Pages held to a byte budget: from flat pictures to noise, from tight
 * budgets to loose ones, the page fits, draws the picture's size, and a
 * budget no table meets is refused with the old page kept. */
#include "convert_fixture.h"

#include <cstdlib>
#include <limits>
#include <random>

#include "page_drawing.h"
#include "picture_writer.h"

namespace {

struct Picture {
	const char *name;
	int32_t width, height;
	std::vector<uint32_t> rgb;
};

std::vector<Picture>
Pictures()
{
	std::mt19937 random(11);
	Picture flat{"flat", 300, 200, std::vector<uint32_t>(300 * 200, 0x336699)};
	Picture logo{"logo", 300, 200, {}}, gradient{"gradient", 301, 199, {}}, noise{"noise", 250, 250, {}};
	for (int32_t y = 0; y < 200; y++)
		for (int32_t x = 0; x < 300; x++)
			logo.rgb.push_back((x - 80) * (x - 80) + (y - 100) * (y - 100) < 3600 ? 0xD02030
			                   : x > 170 && x < 280 && y > 40 && y < 160 ? 0x2060D0 : 0xFFFFFF);
	for (int32_t y = 0; y < 199; y++)
		for (int32_t x = 0; x < 301; x++)
			gradient.rgb.push_back(uint32_t(x * 255 / 300) << 16 | uint32_t(y * 255 / 198) << 8 | uint32_t((x + y) % 256));
	for (int i = 0; i < 250 * 250; i++)
		noise.rgb.push_back(random() & 0xFFFFFF);
	return {flat, logo, gradient, noise};
}

/* The drawn size: the table's width, and the widths of the first row's
 * cells and the heights of the first column's, which each take one column
 * or one row, add up to the picture's. */
void
ExpectDrawnSize(const std::string &page, int64_t width, int64_t height)
{
	const size_t table = page.find("<TABLE");
	ASSERT_NE(table, std::string::npos);
	EXPECT_EQ(Attribute(page.substr(table, page.find('>', table) - table), "width", -1), width) << "the table's width";
	int64_t widths = 0, heights = 0;
	const size_t firstRowEnd = page.find("</TR>");
	for (size_t at = page.find(" width=", page.find("<TR>")); at != std::string::npos && at < firstRowEnd;
	     at = page.find(" width=", at + 1))
		widths += std::atoll(page.c_str() + at + 7);
	for (size_t row = page.find("<TR>"); row != std::string::npos; row = page.find("<TR>", row + 1)) {
		const size_t height = page.find(" height=", row);
		if (height != std::string::npos && height < page.find("</TR>", row))
			heights += std::atoll(page.c_str() + height + 8);
	}
	EXPECT_EQ(widths, width);
	EXPECT_EQ(heights, height);
}

TEST_F(ConvertTest, EveryBudgetIsMetOrRefusedAndTheDrawnSizeStays)
{
	for (const Picture &picture : Pictures()) {
		WriteFile(input, MakeBmp24(picture.width, picture.height, picture.rgb));
		PageOptions options = DEFAULT_PAGE_OPTIONS;
		options.fragment = true;
		ASSERT_EQ(ConvertPicture(input.c_str(), output.c_str(), 2, options, nullptr), 0);
		const std::string exactPage = ReadFile(output);
		const long long exact = (long long)exactPage.size() + 2 * std::count(exactPage.begin(), exactPage.end(), '=');
		for (long long budget : {exact, exact / 3, 20000LL, 3000LL, 400LL}) {
			SCOPED_TRACE(std::string(picture.name) + ", " + std::to_string(budget) + " bytes");
			options.maxBytes = budget;
			PageTotals totals{};
			ASSERT_EQ(ConvertPicture(input.c_str(), output.c_str(), 2, options, &totals), 0);
			const std::string page = ReadFile(output);
			const long long sent = (long long)page.size() + 2 * std::count(page.begin(), page.end(), '=');
			EXPECT_LE(sent, budget) << "a fragment's budget is its bytes as sent in a mail";
			EXPECT_EQ((long long)page.size(), totals.bytes);
			EXPECT_EQ(sent, totals.bytesSent);
			ExpectDrawnSize(page, 2 * picture.width, 2 * picture.height);
			if (budget == exact) {
				EXPECT_EQ(totals.psnr, std::numeric_limits<double>::infinity()) << "a loss where none was needed";
			}
		}
		EXPECT_TRUE(recorder.notices().empty());

		/* Less than one cell for the whole picture takes. */
		NoticeRecorder fresh;
		WriteFile(output, std::string("old page"));
		options.maxBytes = 60;
		EXPECT_EQ(ConvertPicture(input.c_str(), output.c_str(), 2, options, nullptr), 1);
		ASSERT_EQ(fresh.notices().size(), 1u);
		EXPECT_EQ(fresh.notices()[0].text, "60 バイトに収まる表は作れない訳で。[" + output + "]");
		EXPECT_EQ(ReadFile(output), "old page");
	}
}

/* A scale the user gives is the grid the budget is met on, whatever the
 * search would weigh itself: where the grid fits as it is, the page is the
 * page of that scale alone. */
TEST_F(ConvertTest, AScaleGivenIsTheOneTheBudgetIsMetOn)
{
	const Picture logo = Pictures()[1];
	WriteFile(input, MakeBmp24(logo.width, logo.height, logo.rgb));
	for (int32_t scale : {9, 11, 13, 33}) {
		SCOPED_TRACE(scale);
		PageOptions options = DEFAULT_PAGE_OPTIONS;
		options.reduction.scale = scale;
		ASSERT_EQ(ConvertPicture(input.c_str(), output.c_str(), 3, options, nullptr), 0);
		const std::string alone = ReadFile(output);
		options.maxBytes = 1000000;
		PageTotals totals{};
		ASSERT_EQ(ConvertPicture(input.c_str(), output.c_str(), 3, options, &totals), 0);
		EXPECT_EQ(totals.reduction.scale, scale);
		EXPECT_TRUE(ReadFile(output) == alone) << "not the page of the scale given";
		/* Tighter, the grid stays and its cells are merged. */
		options.maxBytes = (long long)alone.size() * 2 / 3;
		ASSERT_EQ(ConvertPicture(input.c_str(), output.c_str(), 3, options, &totals), 0);
		EXPECT_EQ(totals.reduction.scale, scale);
		EXPECT_LE((long long)ReadFile(output).size(), options.maxBytes);
		ExpectDrawnSize(ReadFile(output), 3 * logo.width, 3 * logo.height);
	}
	EXPECT_TRUE(recorder.notices().empty());
}

/* Clear pixels under a budget: a red and clear checkerboard, a logo on a
 * clear ground, and one a fifth opaque, whose coarser grids are wholly
 * clear; in all their colours and in 16 at most. Drawing a clear pixel in
 * a colour, or a coloured one clear, is a loss against the background
 * like any other: the loss told is the loss of the table as drawn, and a
 * reduced checkerboard is never called exact. */
TEST_F(ConvertTest, BudgetsOnClearPixelsTellTheLossOfWhatIsDrawn)
{
	Picture checkerboard{"checkerboard", 64, 64, {}}, logo = Pictures()[1], faint{"faint logo", 200, 100, {}};
	for (int32_t i = 0; i < 64 * 64; i++)
		checkerboard.rgb.push_back((i % 64 + i / 64) % 2 ? DRAWN_CLEAR : 0xFF0000);
	for (uint32_t &c : logo.rgb)
		c = c == 0xFFFFFF ? DRAWN_CLEAR : c;
	for (int32_t y = 0; y < 100; y++)
		for (int32_t x = 0; x < 200; x++)
			faint.rgb.push_back((x / 5 + y / 5) % 5 == 0 ? 0xD02030 + uint32_t(x % 7) * 0x10 : DRAWN_CLEAR);
	for (const Picture &picture : {checkerboard, logo, faint}) {
		PngFields png;
		png.width = uint32_t(picture.width), png.height = uint32_t(picture.height), png.colorType = 6;
		for (uint32_t c : picture.rgb)
			png.samples.insert(png.samples.end(), {c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF, c == DRAWN_CLEAR ? 0u : 255u});
		const Bytes file = MakePng(png);
		WriteFile(input, std::string(file.begin(), file.end()));
		for (const auto &[budget, colours] : {std::pair{20000LL, 0}, {5000LL, 0}, {1500LL, 0}, {300LL, 16}, {5000LL, 16}}) {
			SCOPED_TRACE(std::string(picture.name) + ", " + std::to_string(budget) + " bytes, colours " +
			             std::to_string(colours));
			PageOptions options = DEFAULT_PAGE_OPTIONS;
			options.fragment = options.keepClear = true;
			options.background = 0x336699;
			options.maxBytes = budget;
			options.reduction.colours = colours;
			PageTotals totals{};
			ASSERT_EQ(ConvertPicture(input.c_str(), output.c_str(), 1, options, &totals), 0);
			const std::string page = ReadFile(output);
			EXPECT_LE(totals.bytesSent, budget);
			EXPECT_TRUE(totals.clearKept);
			const Drawing drawn = DrawTable(page);
			ASSERT_EQ(drawn.width, picture.width);
			ASSERT_EQ(drawn.height, picture.height);
			ExpectToldLoss(totals.psnr, DrawnPsnr(drawn, picture.rgb, 0x996633));
			if (picture.name == std::string("checkerboard")) {
				EXPECT_LT(totals.psnr, INFINITY) << "a reduced checkerboard told as exact";
			}
		}
	}
	EXPECT_TRUE(recorder.notices().empty());
}

} // namespace
