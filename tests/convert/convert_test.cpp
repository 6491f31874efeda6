#include "convert/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "picture/picture.h"
#include "convert_fixture.h"
#include "fuzz_limits.h"

namespace {
/* ---- the documents ---- */

TEST_F(ConvertTest, OnePixel)
{
	EXPECT_EQ(Page(1, 1, {R}), HEAD + "<TR><TD width=10 height=10 bgcolor=#ff0000></TD></TR>\r\n" + TAIL);
}

TEST_F(ConvertTest, CellsGrowRightThenDownAndTiesGoToTheTallerCell)
{
	EXPECT_EQ(Rows(3, 2, {R, R, W, R, R, R}),
	          "<TR><TD width=20 height=20 bgcolor=#ff0000 colspan=2 rowspan=2></TD>"
	          "<TD width=10 bgcolor=#ffffff></TD></TR>\r\n"
	          "<TR><TD bgcolor=#ff0000></TD></TR>\r\n");
	EXPECT_EQ(Rows(4, 2, {R, R, R, R, R, R, W, W}),
	          "<TR><TD width=20 height=20 bgcolor=#ff0000 colspan=2 rowspan=2></TD>"
	          "<TD width=20 bgcolor=#ff0000 colspan=2></TD></TR>\r\n"
	          "<TR><TD bgcolor=#ffffff colspan=2></TD></TR>\r\n");
	EXPECT_EQ(Rows(3, 2, {R, R, R, R, W, W}),
	          "<TR><TD width=30 height=10 bgcolor=#ff0000 colspan=3></TD></TR>\r\n"
	          "<TR><TD height=10 bgcolor=#ff0000></TD><TD bgcolor=#ffffff colspan=2></TD></TR>\r\n");
}

TEST_F(ConvertTest, RepeatedNarrowingKeepsGrowingWhileTheAreaHolds)
{
	EXPECT_EQ(Rows(4, 4, {R, R, R, R, R, R, R, W, R, R, W, W, R, R, W, W}),
	          "<TR><TD width=20 height=40 bgcolor=#ff0000 colspan=2 rowspan=4></TD>"
	          "<TD width=10 bgcolor=#ff0000 rowspan=2></TD><TD width=10 bgcolor=#ff0000></TD></TR>\r\n"
	          "<TR><TD bgcolor=#ffffff rowspan=3></TD></TR>\r\n"
	          "<TR><TD bgcolor=#ffffff rowspan=2></TD></TR>\r\n"
	          "<TR></TR>\r\n");
}

TEST_F(ConvertTest, CoveredPixelsStopGrowthEvenOfTheSameColour)
{
	EXPECT_EQ(Rows(2, 3, {W, R, R, R, R, R}),
	          "<TR><TD width=10 height=10 bgcolor=#ffffff></TD><TD width=10 bgcolor=#ff0000 rowspan=3></TD></TR>\r\n"
	          "<TR><TD height=20 bgcolor=#ff0000 rowspan=2></TD></TR>\r\n"
	          "<TR></TR>\r\n");
}

TEST_F(ConvertTest, OneColourBecomesOneCell)
{
	EXPECT_EQ(Rows(5, 3, std::vector<uint32_t>(15, 0x0A0B0C)),
	          "<TR><TD width=50 height=30 bgcolor=#0a0b0c colspan=5 rowspan=3></TD></TR>\r\n"
	          "<TR></TR>\r\n<TR></TR>\r\n");
	EXPECT_EQ(Rows(1, 3, {W, W, W}), "<TR><TD width=10 height=30 bgcolor=#ffffff rowspan=3></TD></TR>\r\n"
	                                 "<TR></TR>\r\n<TR></TR>\r\n");
	EXPECT_EQ(Rows(3, 1, {W, W, W}), "<TR><TD width=30 height=10 bgcolor=#ffffff colspan=3></TD></TR>\r\n");
}

TEST_F(ConvertTest, ReplacesAnExistingOutputFile)
{
	WriteFile(output, std::string(100000, 'x'));
	EXPECT_EQ(Page(1, 1, {R}), HEAD + "<TR><TD width=10 height=10 bgcolor=#ff0000></TD></TR>\r\n" + TAIL);
}

/* Reads the table back as a browser lays it out and checks that the cells
 * tile the picture exactly, each in the colour of all its pixels, and that
 * the first row's widths and first column's heights give every pixel its
 * block. */
void
ExpectPageRedraws(const std::string &page, int32_t width, int32_t height,
                  const std::vector<uint32_t> &rgb, int cellSize)
{
	std::vector<int> owner(size_t(width) * size_t(height), -1);
	std::vector<int64_t> columnWidth(size_t(width), 0), rowHeight(size_t(height), 0);
	int cell = 0;
	int32_t y = -1;
	size_t at = 0;
	while ((at = page.find("<T", at)) != std::string::npos) {
		if (page.compare(at, 4, "<TR>") == 0) {
			y++;
			at += 4;
			continue;
		}
		if (page.compare(at, 4, "<TD ") != 0) {
			at += 2;
			continue;
		}
		const size_t end = page.find('>', at);
		const std::string tag = page.substr(at, end - at);
		at = end;
		auto attribute = [&](const char *name) -> int64_t {
			size_t p = tag.find(std::string(" ") + name + "=");
			return p == std::string::npos ? -1 : std::stoll(tag.substr(p + std::strlen(name) + 2));
		};
		const int64_t cols = std::max<int64_t>(1, attribute("colspan"));
		const int64_t rows = std::max<int64_t>(1, attribute("rowspan"));
		const uint32_t color = uint32_t(std::stoul(tag.substr(tag.find(" bgcolor=#") + 10, 6), nullptr, 16));
		ASSERT_GE(y, 0);
		ASSERT_LT(y, height);
		int32_t x = 0;
		while (x < width && owner[size_t(y) * size_t(width) + size_t(x)] >= 0)
			x++;
		ASSERT_LE(x + cols, width) << tag;
		ASSERT_LE(y + rows, height) << tag;
		if (y == 0)
			columnWidth[size_t(x)] = attribute("width");
		if (x == 0)
			rowHeight[size_t(y)] = attribute("height");
		EXPECT_EQ(attribute("width") >= 0, y == 0) << tag;
		EXPECT_EQ(attribute("height") >= 0, x == 0) << tag;
		for (int64_t r = y; r < y + rows; r++)
			for (int64_t c = x; c < x + cols; c++) {
				const size_t i = size_t(r) * size_t(width) + size_t(c);
				ASSERT_EQ(owner[i], -1) << "two cells hold pixel " << c << "," << r;
				owner[i] = cell;
				ASSERT_EQ(rgb[i], color) << "pixel " << c << "," << r;
			}
		if (y == 0) {
			EXPECT_EQ(columnWidth[size_t(x)], cellSize * cols);
		}
		if (x == 0) {
			EXPECT_EQ(rowHeight[size_t(y)], cellSize * rows);
		}
		cell++;
	}
	EXPECT_EQ(y, height - 1);
	for (size_t i = 0; i < owner.size(); i++)
		ASSERT_GE(owner[i], 0) << "pixel " << i % size_t(width) << "," << i / size_t(width) << " in no cell";
}

/* The page written the plain way: a grid of covered pixels, every cell
 * grown and formatted as the rules say, nothing kept for speed. */
std::string
ModelPage(int32_t width, int32_t height, const std::vector<uint32_t> &rgb, int cellSize)
{
	auto at = [&](int32_t x, int32_t y) { return rgb[size_t(y) * size_t(width) + size_t(x)]; };
	std::vector<char> covered(rgb.size(), 0);
	auto free = [&](int32_t x, int32_t y) { return !covered[size_t(y) * size_t(width) + size_t(x)]; };
	std::string page = Head(width, cellSize);
	for (int32_t y = 0; y < height; y++) {
		page += "<TR>";
		for (int32_t x = 0; x < width; x++) {
			if (!free(x, y))
				continue;
			const uint32_t color = at(x, y);
			int32_t cols = 1, rows = 1;
			while (x + cols < width && cols < 1000 && at(x + cols, y) == color && free(x + cols, y))
				cols++;
			for (int32_t r = y + 1; r < height && rows < 65534; r++) {
				int32_t run = 0;
				while (run < cols && at(x + run, r) == color && free(x + run, r))
					run++;
				if (run == 0 || int64_t(run) * (rows + 1) < int64_t(cols) * rows)
					break;
				rows++;
				cols = run;
			}
			for (int32_t r = y; r < y + rows; r++)
				for (int32_t c = x; c < x + cols; c++)
					covered[size_t(r) * size_t(width) + size_t(c)] = 1;
			char hex[8];
			std::snprintf(hex, sizeof hex, "%06x", color);
			page += "<TD";
			if (y == 0)
				page += " width=" + std::to_string(int64_t(cellSize) * cols);
			if (x == 0)
				page += " height=" + std::to_string(int64_t(cellSize) * rows);
			page += std::string(" bgcolor=#") + hex;
			if (cols > 1)
				page += " colspan=" + std::to_string(cols);
			if (rows > 1)
				page += " rowspan=" + std::to_string(rows);
			page += "></TD>";
			x += cols - 1;
		}
		page += "</TR>\r\n";
	}
	return page + TAIL;
}

TEST_F(ConvertTest, RandomPicturesAreRedrawnExactly)
{
	std::mt19937 random(12345);
	const uint32_t palette[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
	for (int round = 0; round < 60; round++) {
		const int32_t w = 1 + int32_t(random() % 24), h = 1 + int32_t(random() % 24);
		const uint32_t colors = 1 + random() % 4;
		std::vector<uint32_t> rgb(size_t(w) * size_t(h));
		/* Blocky pictures merge more than noise does: copy the pixel above or to the left often. */
		for (size_t i = 0; i < rgb.size(); i++) {
			const uint32_t pick = random() % 8;
			if (pick < 3 && i >= size_t(w))
				rgb[i] = rgb[i - size_t(w)];
			else if (pick < 6 && i % size_t(w))
				rgb[i] = rgb[i - 1];
			else
				rgb[i] = palette[random() % colors];
		}
		SCOPED_TRACE(testing::Message() << w << "x" << h << " round " << round);
		const int cellSize = 1 + int(random() % 99);
		const std::string page = Page(w, h, rgb, cellSize);
		ExpectPageRedraws(page, w, h, rgb, cellSize);
		ASSERT_EQ(page, ModelPage(w, h, rgb, cellSize));
	}
}

/* A page that fills the writer's buffers and goes round them again. */
TEST_F(ConvertTest, APictureOfMegabytesIsRedrawnExactly)
{
	const int32_t w = 1100, h = 700;
	std::mt19937 random(99);
	std::vector<uint32_t> rgb(size_t(w) * size_t(h));
	for (size_t i = 0; i < rgb.size(); i++)
		rgb[i] = i >= size_t(w) && random() % 3 ? rgb[i - size_t(w)] : random() % 4 * 0x3F3F3F;
	const std::string page = Page(w, h, rgb, 2);
	ASSERT_GT(page.size(), size_t(5) << 20);
	ExpectPageRedraws(page, w, h, rgb, 2);
	EXPECT_TRUE(page == ModelPage(w, h, rgb, 2)) << "the page differs from one written the plain way";
}

struct ProgressCall {
	ConversionStage stage;
	long long done, total;
	bool operator==(const ProgressCall &o) const { return stage == o.stage && done == o.done && total == o.total; }
};
std::vector<ProgressCall> g_calls;

void
RecordProgress(ConversionStage stage, long long done, long long total)
{
	g_calls.push_back({stage, done, total});
}

/* The stages come in order, the share of each that is done never
 * shrinks, and so the whole conversion's per cent only grows, to 100. */
void
ExpectProgressOnlyGrows(bool fitting)
{
	ASSERT_FALSE(g_calls.empty());
	int percent = 0;
	for (size_t i = 0; i < g_calls.size(); i++) {
		const ProgressCall &c = g_calls[i];
		SCOPED_TRACE(i);
		EXPECT_LE(c.done, c.total);
		if (i > 0) {
			EXPECT_GE(c.stage, g_calls[i - 1].stage);
			const ProgressCall &before = g_calls[i - 1];
			if (c.stage == before.stage) {
				EXPECT_GE(double(c.done) * double(before.total), double(before.done) * double(c.total));
			}
		}
		const int now = ProgressPercent(c.stage, c.done, c.total, fitting);
		EXPECT_GE(now, percent);
		percent = now;
	}
	EXPECT_EQ(percent, 100);
}

TEST_F(ConvertTest, ProgressIsReportedAsThePictureIsReadThenAtTheEndOfEveryRow)
{
	g_calls.clear();
	const ConversionProgress previous = SetConversionProgress(RecordProgress);
	Page(2, 3, {R, W, W, R, R, R});
	SetConversionProgress(previous);
	const auto writing = std::find_if(g_calls.begin(), g_calls.end(),
	                                  [](const ProgressCall &c) { return c.stage != STAGE_READING; });
	ASSERT_NE(writing, g_calls.begin()) << "nothing told while the picture was read";
	EXPECT_EQ(writing[-1].done, (long long)ReadFile(input).size()) << "the whole file read";
	EXPECT_EQ(std::vector<ProgressCall>(writing, g_calls.end()),
	          (std::vector<ProgressCall>{{STAGE_WRITING, 1, 3}, {STAGE_WRITING, 2, 3}, {STAGE_WRITING, 3, 3}}));
	ExpectProgressOnlyGrows(false);

	/* A run-length picture is read in one piece, then its 200,000 codes
	 * are checked and decoded: told during both, three times each. */
	g_calls.clear();
	WriteFile(input, MakeFlatRle8(2, 100000, 0x336699));
	SetConversionProgress(RecordProgress);
	int result = ConvertBitmapToTable(input.c_str(), output.c_str(), 1);
	SetConversionProgress(previous);
	ASSERT_EQ(result, 0);
	EXPECT_GE(std::count_if(g_calls.begin(), g_calls.end(),
	                        [](const ProgressCall &c) { return c.stage == STAGE_READING; }),
	          3 + 6);
	ExpectProgressOnlyGrows(false);

	/* The search for a page within a budget is told as it goes, however
	 * soon it ends. */
	std::vector<uint32_t> rgb(200 * 150);
	for (size_t i = 0; i < rgb.size(); i++)
		rgb[i] = uint32_t(i * 2654435761u >> 8) & 0x3F3F3F;
	WriteFile(input, MakeBmp24(200, 150, rgb));
	PageOptions options = DEFAULT_PAGE_OPTIONS;
	options.fragment = true;
	options.maxBytes = 20000;
	g_calls.clear();
	SetConversionProgress(RecordProgress);
	result = ConvertPicture(input.c_str(), output.c_str(), 1, options, nullptr);
	SetConversionProgress(previous);
	ASSERT_EQ(result, 0);
	EXPECT_GE(std::count_if(g_calls.begin(), g_calls.end(),
	                        [](const ProgressCall &c) { return c.stage == STAGE_FITTING; }),
	          10);
	ExpectProgressOnlyGrows(true);
}

/* ---- spans within what parsers take, sizes past 32 bits ---- */

std::string
Repeated(const std::string &text, size_t times)
{
	std::string all;
	all.reserve(text.size() * times);
	while (times--)
		all += text;
	return all;
}

TEST_F(ConvertTest, NoCellSpansMoreThanAThousandColumnsOr65534Rows)
{
	WriteFile(input, MakeFlatRle8(2001, 2, 0x336699));
	ASSERT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), 7), 0);
	EXPECT_EQ(ReadFile(output), Head(2001, 7) +
	          "<TR><TD width=7000 height=14 bgcolor=#336699 colspan=1000 rowspan=2></TD>"
	          "<TD width=7000 bgcolor=#336699 colspan=1000 rowspan=2></TD>"
	          "<TD width=7 bgcolor=#336699 rowspan=2></TD></TR>\r\n<TR></TR>\r\n" + TAIL);

	WriteFile(input, MakeFlatRle8(1, 70000, 0x336699));
	ASSERT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), 3), 0);
	EXPECT_EQ(ReadFile(output), Head(1, 3) +
	          "<TR><TD width=3 height=196602 bgcolor=#336699 rowspan=65534></TD></TR>\r\n" +
	          Repeated("<TR></TR>\r\n", 65533) +
	          "<TR><TD height=13398 bgcolor=#336699 rowspan=4466></TD></TR>\r\n" +
	          Repeated("<TR></TR>\r\n", 4465) + TAIL);
}

TEST_F(ConvertTest, PicturesUpTo65536PixelsWideAreTaken)
{
	WriteFile(input, MakeFlatRle8(65536, 1, 0x336699));
	ASSERT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), 999), 0);
	const std::string cell = "<TD width=999000 bgcolor=#336699 colspan=1000></TD>";
	EXPECT_EQ(ReadFile(output), Head(65536, 999) +
	          "<TR><TD width=999000 height=999 bgcolor=#336699 colspan=1000></TD>" + Repeated(cell, 64) +
	          "<TD width=535464 bgcolor=#336699 colspan=536></TD></TR>\r\n" + TAIL);

	WriteFile(output, std::string("keep me"));
	WriteFile(input, MakeFlatRle8(65537, 1, 0x336699));
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), 1), 1);
	ExpectOneNotice("ファイルオープン失敗[" + input + "]");
	EXPECT_EQ(ReadFile(output), "keep me");
}

/* ---- failures: notice, result, and what stays on disk ---- */

TEST_F(ConvertTest, InputThatCannotBeLoadedLeavesTheOutputUntouched)
{
	WriteFile(output, std::string("keep me"));
	WriteFile(dir.file("text.bmp"), std::string("this is not a picture"));
	std::filesystem::create_directory(dir.file("folder.bmp"));
	for (const std::string &bad : {dir.file("missing.bmp"), dir.file("text.bmp"), dir.file("folder.bmp")}) {
		SCOPED_TRACE(bad);
		NoticeRecorder fresh;
		EXPECT_EQ(ConvertBitmapToTable(bad.c_str(), output.c_str(), 10), 1);
		ASSERT_EQ(fresh.notices().size(), 1u);
		EXPECT_EQ(fresh.notices()[0].text, "ファイルオープン失敗[" + bad + "]");
		EXPECT_EQ(fresh.notices()[0].style, 16u);
		EXPECT_EQ(ReadFile(output), "keep me");
	}
}

TEST_F(ConvertTest, OutputThatCannotBeOpenedIsReportedWithItsPath)
{
	WriteFile(input, MakeBmp24(1, 1, {R}));
	const std::string nowhere = dir.file("missing/out.html");
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), nowhere.c_str(), 10), 1);
	ExpectOneNotice("ファイルオープン失敗[" + nowhere + "]");
	EXPECT_FALSE(FileExists(nowhere));
}



TEST_F(ConvertTest, OutOfMemoryClosesOffThePageAfterTheLastCellWritten)
{
	WriteFile(input, MakeBmp24(3, 2, {R, W, R, W, R, W}));
	/* Once first, so that what the runtime sets up once (a statically
	 * linked thread library, say) is not counted below. */
	ASSERT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), 10), 0);
	FailMallocAfter(2); /* the third cell cannot be recorded */
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), 10), -1);
	StopFailingMalloc();
	ExpectOneNotice("記憶領域の獲得に失敗");
	EXPECT_EQ(ReadFile(output), Head(3, 10) + "<TR><TD width=10 height=10 bgcolor=#ff0000></TD>"
	                                          "<TD width=10 bgcolor=#ffffff></TD></TABLE>\r\n</BODY>\r\n</HTML>\r\n");
}


/* A page of many buffers, written while the scan goes on; then again with
 * each allocation failing in turn, the second thread's among them. */
TEST_F(ConvertTest, EveryAllocationFailingInTurnLeavesAWholePageOrAClearFailure)
{
	std::mt19937 random(7);
	std::vector<uint32_t> noise(500 * 300);
	for (uint32_t &pixel : noise)
		pixel = random() & 0x030303;
	const std::string expected = Page(500, 300, noise, 1);
	ASSERT_GT(expected.size(), size_t(3) << 20);
	ExpectPageRedraws(expected, 500, 300, noise, 1);

	int wholeDespiteAFailure = 0;
	for (int successes = 0;; successes++) {
		SCOPED_TRACE(successes);
		NoticeRecorder fresh;
		WriteFile(output, std::string("old page"));
		FailNewAfter(successes);
		const int result = ConvertBitmapToTable(input.c_str(), output.c_str(), 1);
		const bool failedOnce = !NewFailurePending();
		StopFailingMalloc();
		if (!failedOnce) {
			EXPECT_EQ(result, 0);
			break;
		}
		if (result == 0) {
			EXPECT_TRUE(fresh.notices().empty());
			ASSERT_EQ(ReadFile(output), expected);
			wholeDespiteAFailure++;
		} else {
			ASSERT_EQ(fresh.notices().size(), 1u);
			const std::string text = fresh.notices()[0].text;
			if (result == 1) {
				/* Before the page is opened: the picture, or the page's text. */
				EXPECT_TRUE(text == "ファイルオープン失敗[" + input + "]" || text == "記憶領域の獲得に失敗") << text;
				EXPECT_EQ(ReadFile(output), "old page");
			} else {
				EXPECT_EQ(result, -1);
				EXPECT_EQ(text, "記憶領域の獲得に失敗");
			}
		}
	}
	EXPECT_GT(wholeDespiteAFailure, 0) << "no allocation could fail without failing the conversion";
}


/* ---- odd inputs, odd paths ---- */





TEST_F(ConvertTest, OutputOntoAFolderFailsAndLeavesTheFolder)
{
	WriteFile(input, MakeBmp24(1, 1, {R}));
	const std::string folder = dir.file("pages");
	ASSERT_TRUE(std::filesystem::create_directory(folder));
	WriteFile(folder + "/keep.html", std::string("kept"));
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), folder.c_str(), 10), 1);
	ExpectOneNotice("ファイルオープン失敗[" + folder + "]");
	EXPECT_EQ(ReadFile(folder + "/keep.html"), "kept");
}




/* Inputs kept from fuzzing: each is read and converted, or refused by both. */
TEST_F(ConvertTest, KeptFuzzingInputsAreConvertedOrRefusedAlike)
{
	struct FuzzLimits {
		FuzzLimits() { SetPictureLimits(FUZZ_PICTURE_LIMITS); }
		~FuzzLimits() { SetPictureLimits(DEFAULT_PICTURE_LIMITS); }
	} asFuzzed;
	int files = 0;
	for (const char *folder : {"seeds", "regressions"}) {
		const std::string path = std::string(TILERY_FUZZ_DIR) + "/" + folder;
		for (const std::string &name : FilesIn(path)) {
			const std::string file = path + "/" + name, bytes = ReadFile(file);
			SCOPED_TRACE(file);
			DecodedPicture picture;
			const bool decoded = DecodePicture(PictureSource{bytes.size(),
			                                                 reinterpret_cast<const unsigned char *>(bytes.data()), -1},
			                                   &picture) == nullptr;
			NoticeRecorder fresh;
			EXPECT_EQ(ConvertBitmapToTable(file.c_str(), output.c_str(), 2) == 0, decoded);
			files++;
		}
	}
	EXPECT_GT(files, 0);
}

} // namespace
