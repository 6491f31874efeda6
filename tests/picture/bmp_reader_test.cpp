#include "picture/bmp_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bmp_writer.h"
#include "test_files.h"

namespace {

/* 0x00RRGGBB as the reader packs it: red low, blue high. */
constexpr uint32_t
Ref(uint32_t rgb)
{
	return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}

constexpr uint32_t RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, WHITE = 0xFFFFFF, BLACK = 0;

/* Decodes and returns the colours as 0x00RRGGBB, top row first. */
std::vector<uint32_t>
Decode(const Bytes &file, int32_t width, int32_t height)
{
	DecodedPicture picture;
	const char *why = DecodeBmp(file.data(), file.size(), &picture);
	EXPECT_EQ(why, nullptr) << why;
	EXPECT_EQ(picture.width, width);
	EXPECT_EQ(picture.height, height);
	std::vector<uint32_t> rgb;
	for (uint32_t c : picture.pixels)
		rgb.push_back(Ref(c)); /* the swap is its own inverse */
	return rgb;
}

bool
Refused(const Bytes &file)
{
	DecodedPicture picture;
	picture.width = 77;
	bool refused = DecodeBmp(file.data(), file.size(), &picture) != nullptr;
	if (refused) {
		EXPECT_EQ(picture.width, 77) << "a refused file must leave the picture alone";
	}
	return refused;
}

using Colors = std::vector<uint32_t>;

/* ---- palette pictures ---- */

TEST(BmpPaletteTest, OneBitRowsArePaddedAndReadMostSignificantBitFirst)
{
	BmpFields s;
	s.width = 9, s.height = 2, s.bitCount = 1, s.palette = {BLACK, WHITE};
	/* Bottom row first; 9 pixels take 2 bytes, padded to 4. */
	s.pixelData = {0x80, 0x80, 0, 0,  /* bottom row: 1000 0000 1 */
	               0x55, 0x00, 0, 0}; /* top row:    0101 0101 0 */
	EXPECT_EQ(Decode(MakeBmp(s), 9, 2),
	          (Colors{BLACK, WHITE, BLACK, WHITE, BLACK, WHITE, BLACK, WHITE, BLACK,
	                  WHITE, BLACK, BLACK, BLACK, BLACK, BLACK, BLACK, BLACK, WHITE}));
}

TEST(BmpPaletteTest, FourAndEightBitIndices)
{
	BmpFields s;
	s.width = 3, s.bitCount = 4, s.palette = {BLACK, RED, GREEN, BLUE};
	s.pixelData = {0x12, 0x30, 0, 0};
	EXPECT_EQ(Decode(MakeBmp(s), 3, 1), (Colors{RED, GREEN, BLUE}));

	s.bitCount = 8;
	s.pixelData = {3, 2, 1, 0};
	EXPECT_EQ(Decode(MakeBmp(s), 3, 1), (Colors{BLUE, GREEN, RED}));
}

TEST(BmpPaletteTest, IndicesPastAShortPaletteAreBlack)
{
	BmpFields s;
	s.width = 4, s.bitCount = 8, s.colorsUsed = 2, s.palette = {RED, GREEN};
	s.pixelData = {1, 2, 255, 0};
	EXPECT_EQ(Decode(MakeBmp(s), 4, 1), (Colors{GREEN, BLACK, BLACK, RED}));
}

TEST(BmpPaletteTest, PaletteStopsWherePixelsBeginWhateverTheHeaderClaims)
{
	BmpFields s;
	s.width = 2, s.bitCount = 8, s.colorsUsed = 300, s.palette = {RED, GREEN};
	s.pixelData = {0, 1, 0, 0};
	/* 300 claimed, 2 stored: the pixel bytes must not be read as colours. */
	EXPECT_EQ(Decode(MakeBmp(s), 2, 1), (Colors{RED, GREEN}));
}

TEST(BmpPaletteTest, CoreHeaderHasThreeByteEntries)
{
	BmpFields s;
	s.headerSize = 12, s.width = 2, s.height = 2, s.bitCount = 8, s.palette = {RED, BLUE};
	s.pixelData = {0, 1, 0, 0, 1, 0, 0, 0};
	EXPECT_EQ(Decode(MakeBmp(s), 2, 2), (Colors{BLUE, RED, RED, BLUE}));
}

TEST(BmpPaletteTest, Os2LongAndShortHeaders)
{
	for (uint32_t size : {16u, 64u}) {
		BmpFields s;
		s.headerSize = size, s.width = 2, s.bitCount = 8, s.palette = {GREEN, WHITE};
		s.pixelData = {1, 0, 0, 0};
		EXPECT_EQ(Decode(MakeBmp(s), 2, 1), (Colors{WHITE, GREEN})) << size;
	}
}

/* ---- direct colour ---- */

TEST(BmpDirectTest, TwentyFourBitBottomUpAndTopDown)
{
	const Colors rgb = {RED, GREEN, BLUE, WHITE, 0x123456, BLACK};
	EXPECT_EQ(Decode(MakeBmp24(3, 2, rgb), 3, 2), rgb);

	BmpFields s;
	s.width = 1, s.height = -2;
	s.pixelData = {0x56, 0x34, 0x12, 0, 0xFF, 0, 0, 0};
	EXPECT_EQ(Decode(MakeBmp(s), 1, 2), (Colors{0x123456, BLUE}));
}

TEST(BmpDirectTest, SixteenBitDefaultIsFiveFiveFiveAndWhiteStaysWhite)
{
	BmpFields s;
	s.width = 4, s.bitCount = 16;
	s.pixelData = {0xFF, 0x7F, 0x00, 0x7C, 0xE0, 0x03, 0x10, 0x42};
	EXPECT_EQ(Decode(MakeBmp(s), 4, 1), (Colors{WHITE, RED, GREEN, 0x848484}));
}

TEST(BmpDirectTest, SixteenBitMasksScaleEachChannelToTheFullRange)
{
	BmpFields s;
	s.width = 2, s.bitCount = 16, s.compression = 3, s.masks = {0xF800, 0x07E0, 0x001F};
	s.pixelData = {0xFF, 0xFF, 0xE0, 0x07};
	EXPECT_EQ(Decode(MakeBmp(s), 2, 1), (Colors{WHITE, GREEN}));
}

TEST(BmpDirectTest, ThirtyTwoBitIgnoresTheFourthByte)
{
	BmpFields s;
	s.width = 2, s.bitCount = 32;
	s.pixelData = {0x33, 0x22, 0x11, 0x00, 0x33, 0x22, 0x11, 0xFF};
	EXPECT_EQ(Decode(MakeBmp(s), 2, 1), (Colors{0x112233, 0x112233}));
}

TEST(BmpDirectTest, ThirtyTwoBitMasksInEveryHeaderForm)
{
	/* 10-bit channels with 2 alpha bits on top: 0x3FF is full, 0x200 about half. */
	const Bytes pixels = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xE0};
	for (uint32_t size : {40u, 52u, 56u, 108u, 124u}) {
		BmpFields s;
		s.headerSize = size, s.width = 2, s.bitCount = 32, s.compression = 3;
		s.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
		s.pixelData = pixels;
		EXPECT_EQ(Decode(MakeBmp(s), 2, 1), (Colors{WHITE, 0x800000})) << size;
	}
	BmpFields alpha; /* masks for alpha too, after a 40-byte header */
	alpha.width = 1, alpha.bitCount = 32, alpha.compression = 6;
	alpha.masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF};
	alpha.pixelData = {0x80, 0x11, 0x22, 0x33};
	EXPECT_EQ(Decode(MakeBmp(alpha), 1, 1), (Colors{0x112233}));
}

/* ---- run-length coding ---- */

TEST(BmpRunLengthTest, EightBitRunsLiteralsDeltasAndEarlyEndsLeaveBlack)
{
	BmpFields s;
	s.width = 5, s.height = 3, s.bitCount = 8, s.compression = 1;
	s.palette = {BLACK, RED, GREEN, BLUE};
	s.pixelData = {
		2, 1,          /* bottom row: two red */
		0, 3, 2, 3, 2, 0, /* literal green blue green, padded */
		0, 0,          /* end of line */
		0, 2, 1, 1,    /* delta: one right, one up: top row, column 1 */
		1, 3,          /* one blue */
		0, 1,          /* end of picture: the rest stays black */
	};
	EXPECT_EQ(Decode(MakeBmp(s), 5, 3), (Colors{BLACK, BLUE, BLACK, BLACK, BLACK,
	                                             BLACK, BLACK, BLACK, BLACK, BLACK,
	                                             RED, RED, GREEN, BLUE, GREEN}));
}

TEST(BmpRunLengthTest, FourBitRunsAlternateTheirTwoIndices)
{
	BmpFields s;
	s.width = 6, s.bitCount = 4, s.compression = 2, s.palette = {BLACK, RED, GREEN, BLUE};
	s.pixelData = {3, 0x12, 0, 3, 0x31, 0x20, 0, 1};
	EXPECT_EQ(Decode(MakeBmp(s), 6, 1), (Colors{RED, GREEN, RED, BLUE, RED, GREEN}));
}

/* Runs that pass the row's end, as some encoders pad rows, are cut there:
 * nothing spills into the next row, and the stream goes on as written. */
TEST(BmpRunLengthTest, RunsPastTheRowsEndAreCutThere)
{
	BmpFields s;
	s.width = 3, s.height = 2, s.bitCount = 8, s.compression = 1, s.palette = {BLACK, RED, GREEN, BLUE};
	s.pixelData = {5, 1, 2, 3, 0, 0,       /* bottom row: five red, two blue: red red red */
	               0, 4, 2, 3, 1, 1, 0, 0, /* top row: literal green blue red red: green blue red */
	               0, 1};
	EXPECT_EQ(Decode(MakeBmp(s), 3, 2), (Colors{GREEN, BLUE, RED, RED, RED, RED}));
	s.bitCount = 4, s.compression = 2;
	s.pixelData = {5, 0x12, 0, 0, 0, 5, 0x32, 0x11, 0x10, 0, 0, 1};
	EXPECT_EQ(Decode(MakeBmp(s), 3, 2), (Colors{BLUE, GREEN, RED, RED, GREEN, RED}));
}

TEST(BmpRunLengthTest, RefusesRunsThatLeaveThePictureAndDataCutShort)
{
	BmpFields s;
	s.width = 4, s.height = 2, s.bitCount = 8, s.compression = 1, s.palette = {RED};
	s.pixelData = {0, 2, 5, 0, 0, 1};
	EXPECT_TRUE(Refused(MakeBmp(s))) << "delta past the right edge";
	s.pixelData = {0, 0, 0, 0, 0, 0, 1, 0, 0, 1};
	EXPECT_TRUE(Refused(MakeBmp(s))) << "pixel below the last row";
	s.pixelData = {0, 4, 0, 0};
	EXPECT_TRUE(Refused(MakeBmp(s))) << "literal cut short";
	s.pixelData = {4, 0, 0, 0};
	EXPECT_TRUE(Refused(MakeBmp(s))) << "no end of picture before the data ends";
	s.pixelData = {4, 0, 0, 0, 4, 0, 0, 0};
	EXPECT_FALSE(Refused(MakeBmp(s))) << "every row given: a missing end mark is harmless";
}

/* ---- refused files ---- */

TEST(BmpRefusalTest, HeaderFieldsOutsideTheirLimits)
{
	const Bytes good = MakeBmp24(2, 2, Colors(4, RED));
	ASSERT_FALSE(Refused(good));
	auto with = [&](size_t at, uint32_t value, int bytes = 4) {
		Bytes b = good;
		if (bytes == 2)
			PutU16(&b, at, value);
		else
			PutU32(&b, at, value);
		return b;
	};
	EXPECT_TRUE(Refused(Bytes()));
	EXPECT_TRUE(Refused(Bytes(good.begin(), good.begin() + 20))) << "header cut";
	EXPECT_TRUE(Refused(with(0, 'B' | 'A' << 8, 2))) << "not BM";
	EXPECT_TRUE(Refused(with(14, 66))) << "header size";
	EXPECT_TRUE(Refused(with(18, 0))) << "width 0";
	EXPECT_TRUE(Refused(with(18, uint32_t(-2)))) << "negative width";
	EXPECT_TRUE(Refused(with(22, 0))) << "height 0";
	EXPECT_TRUE(Refused(with(26, 2, 2))) << "planes";
	for (uint32_t bits : {0u, 2u, 64u, 30000u})
		EXPECT_TRUE(Refused(with(28, bits, 2))) << "bits " << bits;
	for (uint32_t compression : {4u, 5u, 7u})
		EXPECT_TRUE(Refused(with(30, compression))) << "compression " << compression;
	EXPECT_TRUE(Refused(with(30, 1))) << "RLE8 on 24 bits";
	EXPECT_TRUE(Refused(with(10, uint32_t(good.size() + 1)))) << "pixel offset past the end";
	EXPECT_TRUE(Refused(with(10, 20))) << "pixel offset inside the header";
	EXPECT_TRUE(Refused(Bytes(good.begin(), good.end() - 1))) << "pixels cut short";
}

TEST(BmpRefusalTest, UnsupportedVariants)
{
	BmpFields s;
	s.width = 2, s.bitCount = 16, s.compression = 3, s.masks = {0xF000, 0x0505, 0x000F};
	s.pixelData = {0, 0, 0, 0};
	EXPECT_TRUE(Refused(MakeBmp(s))) << "mask with a gap";
	s.masks = {0x1F0000, 0x07E0, 0x001F};
	EXPECT_TRUE(Refused(MakeBmp(s))) << "mask wider than the pixel";

	BmpFields huffman;
	huffman.headerSize = 64, huffman.bitCount = 1, huffman.compression = 3;
	huffman.palette = {BLACK, WHITE}, huffman.pixelData = {0, 0, 0, 0};
	EXPECT_TRUE(Refused(MakeBmp(huffman)));

	BmpFields rleTopDown;
	rleTopDown.height = -1, rleTopDown.bitCount = 8, rleTopDown.compression = 1;
	rleTopDown.palette = {RED}, rleTopDown.pixelData = {1, 0, 0, 1};
	EXPECT_TRUE(Refused(MakeBmp(rleTopDown)));
}

TEST(BmpRefusalTest, HugeClaimsAreRefusedBeforeAnythingIsAllocated)
{
	/* A few dozen bytes claiming more than the cap: refused, not attempted. */
	BmpFields s;
	s.width = 1 << 20, s.height = 1 << 20, s.bitCount = 8, s.compression = 1;
	s.palette = {RED}, s.pixelData = {0, 1};
	EXPECT_TRUE(Refused(MakeBmp(s)));
	s.width = 0x7FFFFFFF, s.height = int32_t(0x80000000);
	EXPECT_TRUE(Refused(MakeBmp(s)));

	BmpFields raw; /* within the cap, but the pixels are not in the file */
	raw.width = 1 << 14, raw.height = 1 << 14, raw.pixelData = {0, 0, 0, 0};
	EXPECT_TRUE(Refused(MakeBmp(raw)));
}

/* ---- the public test suite ---- */

std::vector<std::string>
BmpFilesIn(const std::string &dir)
{
	std::vector<std::string> names;
	for (const std::string &name : FilesIn(dir))
		if (name.size() > 4 && name.substr(name.size() - 4) == ".bmp")
			names.push_back(name);
	return names;
}

/* Binary PPM with maximum 255, as the suite ships them. */
bool
ReadPpm(const std::string &path, int32_t *width, int32_t *height, Colors *rgb)
{
	const std::string text = ReadFile(path);
	int w, h, max, consumed = 0;
	if (std::sscanf(text.c_str(), "P6 %d %d %d%n", &w, &h, &max, &consumed) != 3 || max != 255)
		return false;
	size_t at = size_t(consumed) + 1;
	if (text.size() < at + size_t(w) * size_t(h) * 3)
		return false;
	rgb->clear();
	for (int i = 0; i < w * h; i++, at += 3)
		rgb->push_back(uint32_t(uint8_t(text[at])) << 16 | uint32_t(uint8_t(text[at + 1])) << 8 |
		               uint8_t(text[at + 2]));
	*width = w, *height = h;
	return true;
}

TEST(BmpSuiteTest, EveryGoodFileLoadsWithTheExpectedPixels)
{
	const std::string suite = BmpSuiteDir();
	ASSERT_FALSE(suite.empty()) << "tests/data/bmpsuite is missing";
	const std::vector<std::string> names = BmpFilesIn(suite + "/good");
	ASSERT_FALSE(names.empty());
	for (const std::string &name : names) {
		SCOPED_TRACE(name);
		const std::string bmp = ReadFile(suite + "/good/" + name);
		int32_t w = 0, h = 0;
		Colors expected;
		ASSERT_TRUE(ReadPpm(suite + "/expected/" + name.substr(0, name.size() - 4) + ".ppm", &w, &h, &expected));
		const Colors got = Decode(Bytes(bmp.begin(), bmp.end()), w, h);
		ASSERT_EQ(got.size(), expected.size());
		/* Channels stored with fewer than 8 bits may round either way. */
		const int tolerance = name.rfind("rgb16", 0) == 0 ? 1 : 0;
		int worst = 0;
		for (size_t i = 0; i < got.size(); i++)
			for (int shift : {0, 8, 16})
				worst = std::max(worst, std::abs(int(got[i] >> shift & 0xFF) - int(expected[i] >> shift & 0xFF)));
		EXPECT_LE(worst, tolerance);
	}
}

TEST(BmpSuiteTest, OddAndBrokenFilesLoadTheSameEveryTimeOrAreRefused)
{
	const std::string suite = BmpSuiteDir();
	ASSERT_FALSE(suite.empty()) << "tests/data/bmpsuite is missing";
	int loaded = 0, refused = 0;
	for (const char *folder : {"questionable", "bad"}) {
		for (const std::string &name : BmpFilesIn(suite + "/" + folder)) {
			SCOPED_TRACE(name);
			const std::string text = ReadFile(suite + "/" + folder + "/" + name);
			const Bytes file(text.begin(), text.end());
			DecodedPicture first, second;
			/* A picture from before: replaced whole, or left as it was. */
			second.width = 256, second.height = 256;
			second.pixels.assign(1 << 16, 0xDEADBEEF);
			const char *why1 = DecodeBmp(file.data(), file.size(), &first);
			const char *why2 = DecodeBmp(file.data(), file.size(), &second);
			ASSERT_EQ(why1 == nullptr, why2 == nullptr);
			if (why1) {
				EXPECT_EQ(second.width, 256);
				EXPECT_EQ(second.pixels, Pixels(1 << 16, 0xDEADBEEF));
				refused++;
				continue;
			}
			loaded++;
			EXPECT_EQ(first.width, second.width);
			EXPECT_EQ(first.height, second.height);
			EXPECT_EQ(first.pixels, second.pixels);
			EXPECT_EQ(first.pixels.size(), size_t(first.width) * size_t(first.height));
		}
	}
	EXPECT_GT(loaded, 0);
	EXPECT_GT(refused, 0);
}

TEST(BmpSuiteTest, UnsupportedQuestionableVariantsAreRefused)
{
	const std::string suite = BmpSuiteDir();
	ASSERT_FALSE(suite.empty()) << "tests/data/bmpsuite is missing";
	for (const char *name : {"rgb24jpeg.bmp", "rgb24png.bmp", "rgb24rle24.bmp", "pal1huffmsb.bmp",
	                         "rgba64.bmp", "pal2.bmp"}) {
		const std::string text = ReadFile(suite + "/questionable/" + name);
		EXPECT_TRUE(Refused(Bytes(text.begin(), text.end()))) << name;
	}
}

} // namespace
