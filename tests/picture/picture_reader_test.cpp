#include "picture/picture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bmp_writer.h"
#include "convert/convert.h"
#include "page/cell_rect.h"
#include "notice_recorder.h"
#include "picture_writer.h"
#include "test_files.h"

using namespace std::string_literals;

namespace {

using Colors = std::vector<uint32_t>;

/* 0x00RRGGBB, as the tests write colours, from the packed value. */
uint32_t
Rgb(uint32_t packed)
{
	return (packed & 0xFF) << 16 | (packed & 0xFF00) | (packed >> 16 & 0xFF);
}

Colors
Decode(const Bytes &file, int32_t width, int32_t height)
{
	DecodedPicture picture;
	const char *why = DecodePicture(PictureSource{file.size(), file.data(), -1}, &picture);
	EXPECT_EQ(why, nullptr) << why;
	EXPECT_EQ(picture.width, width);
	EXPECT_EQ(picture.height, height);
	Colors rgb;
	for (uint32_t c : picture.pixels)
		rgb.push_back(Rgb(c));
	return rgb;
}

bool
Refused(const Bytes &file)
{
	DecodedPicture picture;
	picture.width = 77;
	const bool refused = DecodePicture(PictureSource{file.size(), file.data(), -1}, &picture) != nullptr;
	if (refused) {
		EXPECT_EQ(picture.width, 77) << "a refused file must leave the picture alone";
	}
	return refused;
}

uint32_t
Grey(uint32_t v)
{
	return v << 16 | v << 8 | v;
}

uint32_t
OverWhiteRgb(uint32_t rgb, uint32_t alpha)
{
	uint32_t out = 0;
	for (int shift = 0; shift < 24; shift += 8)
		out |= ((rgb >> shift & 0xFF) * alpha + 255 * (255 - alpha) + 127) / 255 << shift;
	return out;
}

/* ---- PNG: every colour type and bit depth, interlaced or not ---- */

/* A 9x9 picture (every Adam7 pass holds pixels) of samples that use the
 * whole range of the depth; the expected colour follows the usual rules:
 * low depths scaled up, 16-bit channels by their high byte, alpha over
 * white. */
TEST(PngTest, EveryColourTypeAndDepthInterlacedOrNot)
{
	struct Kind {
		uint8_t colorType;
		std::vector<uint8_t> depths;
	};
	const Kind kinds[] = {{0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
	for (const Kind &kind : kinds) {
		for (uint8_t depth : kind.depths) {
			for (uint8_t interlace : {0, 1}) {
				SCOPED_TRACE(testing::Message() << "colour type " << int(kind.colorType) << ", depth " << int(depth)
				                                << (interlace ? ", interlaced" : ""));
				PngFields f;
				f.width = 9, f.height = 9, f.bitDepth = depth, f.colorType = kind.colorType, f.interlace = interlace;
				const uint32_t top = (1u << depth) - 1;
				const int channels = PngChannels(kind.colorType);
				if (kind.colorType == 3)
					for (uint32_t i = 0; i <= top; i++)
						f.palette.push_back(0x102030u * (i + 1) & 0xFFFFFF);
				Colors expected;
				for (uint32_t i = 0; i < 81; i++) {
					std::vector<uint32_t> s;
					for (int c = 0; c < channels; c++)
						s.push_back((i * 7919u + uint32_t(c) * 104729u) % (top + 1));
					if (i == 0)
						for (uint32_t &v : s)
							v = top; /* full scale, opaque */
					f.samples.insert(f.samples.end(), s.begin(), s.end());
					auto eight = [&](uint32_t v) { return depth == 16 ? v >> 8 : v * 255 / top; };
					uint32_t rgb;
					switch (kind.colorType) {
					case 0: rgb = Grey(eight(s[0])); break;
					case 2: rgb = eight(s[0]) << 16 | eight(s[1]) << 8 | eight(s[2]); break;
					case 3: rgb = f.palette[s[0]]; break;
					case 4: rgb = OverWhiteRgb(Grey(eight(s[0])), eight(s[1])); break;
					default: rgb = OverWhiteRgb(eight(s[0]) << 16 | eight(s[1]) << 8 | eight(s[2]), eight(s[3]));
					}
					expected.push_back(rgb);
				}
				EXPECT_EQ(Decode(MakePng(f), 9, 9), expected);
			}
		}
	}
}

TEST(PngTest, TransparencyChunksAreLaidOverWhiteAndGammaIsIgnored)
{
	PngFields palette;
	palette.width = 3, palette.colorType = 3, palette.samples = {0, 1, 2};
	palette.palette = {0xFF0000, 0x00FF00, 0x0000FF};
	palette.trns = {0, 128}; /* index 0 transparent, 1 half, 2 opaque (not listed) */
	palette.withGamma = true;
	EXPECT_EQ(Decode(MakePng(palette), 3, 1), (Colors{0xFFFFFF, OverWhiteRgb(0x00FF00, 128), 0x0000FF}));

	PngFields rgb;
	rgb.width = 2, rgb.colorType = 2, rgb.samples = {10, 20, 30, 40, 50, 60};
	rgb.trns = {0, 10, 0, 20, 0, 30}; /* this colour is transparent */
	rgb.withGamma = true;
	EXPECT_EQ(Decode(MakePng(rgb), 2, 1), (Colors{0xFFFFFF, 0x28323C}));

	PngFields grey;
	grey.width = 2, grey.colorType = 0, grey.bitDepth = 16, grey.samples = {0x1234, 0xABCD};
	grey.trns = {0x12, 0x34};
	EXPECT_EQ(Decode(MakePng(grey), 2, 1), (Colors{0xFFFFFF, Grey(0xAB)}));
}

/* ---- GIF ---- */

TEST(GifTest, FirstImageOnItsScreenTransparencyAndInterlacing)
{
	const Colors colors = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000};
	GifFrame whole;
	whole.width = 3, whole.height = 2, whole.indices = {0, 1, 2, 3, 2, 1};
	GifFrame later = whole;
	later.indices = {3, 3, 3, 3, 3, 3};
	EXPECT_EQ(Decode(MakeGif(3, 2, colors, {whole, later}), 3, 2),
	          (Colors{0xFF0000, 0x00FF00, 0x0000FF, 0, 0x0000FF, 0x00FF00}))
		<< "only the first image counts";

	GifFrame clear = whole;
	clear.transparent = 1;
	EXPECT_EQ(Decode(MakeGif(3, 2, colors, {clear}), 3, 2),
	          (Colors{0xFF0000, 0xFFFFFF, 0x0000FF, 0, 0x0000FF, 0xFFFFFF}));

	GifFrame small; /* 1x2 at (1, 1) on a 3x3 screen: the rest is white */
	small.left = 1, small.top = 1, small.width = 1, small.height = 2, small.indices = {0, 2};
	EXPECT_EQ(Decode(MakeGif(3, 3, colors, {small}), 3, 3),
	          (Colors{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFF0000, 0xFFFFFF, 0xFFFFFF, 0x0000FF, 0xFFFFFF}));

	GifFrame interlaced;
	interlaced.width = 1, interlaced.height = 10, interlaced.interlace = true;
	Colors expected;
	for (int row = 0; row < 10; row++) {
		interlaced.indices.push_back(uint8_t(row % 4));
		expected.push_back(colors[size_t(row % 4)]);
	}
	EXPECT_EQ(Decode(MakeGif(1, 10, colors, {interlaced}), 1, 10), expected);
}

/* ---- netpbm ---- */

Bytes
Text(const std::string &s)
{
	return Bytes(s.begin(), s.end());
}

TEST(PnmTest, EveryVariantPlainAndRawAnyMaxval)
{
	EXPECT_EQ(Decode(Text("P1\n# a comment\n3 2\n1 0 1\n011\n"), 3, 2),
	          (Colors{0, 0xFFFFFF, 0, 0xFFFFFF, 0, 0}));
	EXPECT_EQ(Decode(Text("P2 2 1 # maxval next\n15\n15 7\n"), 2, 1), (Colors{0xFFFFFF, Grey(119)}));
	EXPECT_EQ(Decode(Text("P3\n1 2\n1000\n1000 0 500\n#c\n1 2 999\n"), 1, 2),
	          (Colors{0xFF0080, 0x0001FF}));
	std::string raw = "P4\n10 2\n";
	raw += {char(0x80), char(0x40), char(0xFF), char(0xC0)};
	EXPECT_EQ(Decode(Text(raw), 10, 2), (Colors{0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
	                                             0xFFFFFF, 0xFFFFFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
	raw = "P5 2 1 255\n";
	raw += {char(0), char(200)};
	EXPECT_EQ(Decode(Text(raw), 2, 1), (Colors{0, Grey(200)}));
	raw = "P6\n1 1\n65535\n";
	raw += {char(0xFF), char(0xFF), char(0x80), char(0x00), char(0x00), char(0x81)};
	EXPECT_EQ(Decode(Text(raw), 1, 1), (Colors{0xFF8001}));
}

/* ---- refused: broken and cut short, in every format ---- */

TEST(PictureRefusalTest, BrokenOrCutShortFilesAreRefused)
{
	PngFields f;
	f.width = 40, f.height = 30, f.colorType = 2;
	for (uint32_t i = 0; i < 40 * 30 * 3; i++)
		f.samples.push_back(i * 31 % 256);
	const Bytes png = MakePng(f);
	ASSERT_FALSE(Refused(png));
	for (size_t cut : {size_t(8), size_t(20), size_t(40), png.size() / 2, png.size() - 13})
		EXPECT_TRUE(Refused(Bytes(png.begin(), png.begin() + long(cut)))) << "PNG cut at " << cut;
	Bytes corrupt = png;
	corrupt[png.size() / 2] ^= 0x55; /* inside the image data */
	EXPECT_TRUE(Refused(corrupt)) << "PNG with a broken IDAT";
	PngFields huge; /* a few bytes claiming 65536 x 65536 */
	huge.width = 65536, huge.height = 65536, huge.colorType = 0, huge.bitDepth = 1;
	Bytes claim = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
	Bytes header;
	PutBigEndian(&header, huge.width);
	PutBigEndian(&header, huge.height);
	header.insert(header.end(), {1, 0, 0, 0, 0});
	AppendChunk(&claim, "IHDR", header);
	EXPECT_TRUE(Refused(claim)) << "PNG past the size cap";

	GifFrame frame;
	frame.width = 20, frame.height = 20;
	for (int i = 0; i < 400; i++)
		frame.indices.push_back(uint8_t(i * 7 % 4));
	const Bytes gif = MakeGif(20, 20, {0xFF0000, 0x00FF00, 0x0000FF, 0}, {frame});
	ASSERT_FALSE(Refused(gif));
	for (size_t cut : {size_t(6), size_t(13), size_t(30), gif.size() - 3})
		EXPECT_TRUE(Refused(Bytes(gif.begin(), gif.begin() + long(cut)))) << "GIF cut at " << cut;
	EXPECT_TRUE(Refused(MakeGif(20000, 20000, {0, 0xFFFFFF}, {}))) << "GIF past the size cap, no image";

	for (const char *pnm : {"P3\n2 1\n255\n1 2 3 4 5\n", "P2\n1 1\n15\n16\n", "P2\n1 1\n0\n0\n", "P2\n1 1\n70000\n1\n",
	                        "P5\n2 2\n255\n\1\2\3", "P6 1 1 255x\1\2\3", "P4\n9 1\n\1", "P1\n2 1\n1 2\n",
	                        "P7\n1 1\n", "P2\n65537 1\n1\n", "P2\n99999999999 1\n1\n", "P3\n1 1\n255\n1 2\n"})
		EXPECT_TRUE(Refused(Text(pnm))) << pnm;
	EXPECT_TRUE(Refused(Text("GIF88a"))) << "not a format that is read";
}

/* Limits set before decoding hold in every reader; numbers that do not fit
 * and images that the screen hides are held to them too. */
TEST(PictureLimitsTest, EveryReaderHoldsPicturesToTheLimitsSet)
{
	struct Restore {
		~Restore() { SetPictureLimits(DEFAULT_PICTURE_LIMITS); }
	} restore;
	EXPECT_TRUE(Refused(Text("P5 4294967300 1 255\n\1\2\3\4"))) << "a width that wraps to 4";
	EXPECT_TRUE(Refused(Text("P2 1 1 255\n4294967300\n"))) << "a sample that wraps to 4";

	ASSERT_EQ(SetPictureLimits({64 * 64, 64, 1 << 20}), 0);
	for (const PictureLimits &bad : {PictureLimits{0, 64, 1}, PictureLimits{64, -1, 1},
	                                 PictureLimits{int64_t(1) << 31, 64, 1}, PictureLimits{64, 64, 0}})
		EXPECT_EQ(SetPictureLimits(bad), -1);
	const std::vector<uint32_t> flat(65 * 64, 0x123456);
	EXPECT_FALSE(Refused(MakeBmp24(64, 64, flat)));
	EXPECT_TRUE(Refused(MakeBmp24(65, 1, flat))) << "wider than the cap";
	EXPECT_TRUE(Refused(MakeBmp24(64, 65, flat))) << "more pixels than the cap";
	Bytes padded = MakeBmp24(1, 1, flat);
	padded.resize((1 << 20) + 1);
	EXPECT_TRUE(Refused(padded)) << "a file larger than the cap";
	PngFields png;
	png.width = 65, png.height = 1, png.colorType = 0, png.samples.assign(65, 0);
	EXPECT_TRUE(Refused(MakePng(png)));
	EXPECT_TRUE(Refused(Text("P2 65 1 1\n" + std::string(65 * 2, '1'))));

	/* A GIF's first image: held to the cap whatever part the screen shows,
	 * and read no further than its last row shown. */
	GifFrame image;
	image.width = 64, image.height = 64;
	for (uint32_t i = 0, h = 1; i < 64 * 64; i++, h = h * 1103515245u + 12345u)
		image.indices.push_back(uint8_t(h >> 16 & 3)); /* noise: data of several blocks */
	const Bytes gif = MakeGif(1, 1, {0xFF0000, 0x00FF00, 0x0000FF, 0}, {image});
	EXPECT_EQ(Decode(Bytes(gif.begin(), gif.begin() + long(gif.size() / 2)), 1, 1), (Colors{0xFF0000}));
	image.height = 65, image.indices.resize(65 * 64);
	EXPECT_TRUE(Refused(MakeGif(1, 1, {0xFF0000, 0}, {image}))) << "an image past the cap";
}

/* Through the whole conversion: these formats make pages like BMP does,
 * and a broken file leaves the page as it was. */
TEST(PictureRefusalTest, ConversionTakesEveryFormatAndABrokenOneLeavesThePage)
{
	TempDir dir;
	NoticeRecorder recorder;
	const std::string page = dir.file("page.html");
	const Colors rgb = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
	WriteFile(dir.file("in.bmp"), MakeBmp24(2, 2, rgb));
	ASSERT_EQ(ConvertBitmapToTable(dir.file("in.bmp").c_str(), page.c_str(), 3), 0);
	const std::string expected = ReadFile(page);

	PngFields f;
	f.width = 2, f.height = 2, f.colorType = 2, f.samples = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
	GifFrame frame;
	frame.width = 2, frame.height = 2, frame.indices = {0, 1, 2, 3};
	const std::string ppm = std::string("P6 2 2 255\n") + "\xFF\0\0\0\xFF\0\0\0\xFF\xFF\xFF\xFF"s;
	const std::vector<std::pair<std::string, Bytes>> files = {
		{"picture.png", MakePng(f)}, {"picture.gif", MakeGif(2, 2, rgb, {frame})}, {"picture.ppm", Text(ppm)}};
	for (const auto &[name, bytes] : files) {
		SCOPED_TRACE(name);
		WriteFile(dir.file(name), bytes);
		std::remove(page.c_str());
		EXPECT_EQ(ConvertBitmapToTable(dir.file(name).c_str(), page.c_str(), 3), 0);
		EXPECT_EQ(ReadFile(page), expected);

		WriteFile(dir.file("cut"), Bytes(bytes.begin(), bytes.end() - 2));
		EXPECT_EQ(ConvertBitmapToTable(dir.file("cut").c_str(), page.c_str(), 3), 1);
		EXPECT_EQ(ReadFile(page), expected);
	}
	EXPECT_EQ(recorder.notices().size(), 3u);
	EXPECT_EQ(g_cellRectHead, nullptr);
}

} // namespace
