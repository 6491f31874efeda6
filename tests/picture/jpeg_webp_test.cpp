/* JPEG and WebP against the libraries' own programs: files made by encoders
 * this project does not write (cjpeg, jpegtran, ImageMagick, Pillow, cwebp),
 * each one's page compared byte for byte with the page of what djpeg or
 * dwebp decodes, turned the EXIF way; and photographs from a real camera. */
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "picture/picture.h"
#include "notice_recorder.h"
#include "picture_writer.h"
#include "test_files.h"

namespace {

bool
Shell(const std::string &command)
{
	return std::system(("set -e; " + command + " 2>/dev/null").c_str()) == 0;
}

DecodedPicture
DecodeFile(const std::string &path)
{
	const std::string bytes = ReadFile(path);
	DecodedPicture picture;
	const char *why =
		DecodePicture(PictureSource{bytes.size(), reinterpret_cast<const unsigned char *>(bytes.data()), -1}, &picture);
	EXPECT_EQ(why, nullptr) << path << ": " << why;
	return picture;
}

/* The picture as EXIF orientation o says it is shown (TIFF 6.0: the stored
 * row 0 is the top (1-4) or the left (5-8), column 0 the left, right,
 * top or bottom). Pixel (x, y) shown is stored pixel (sx, sy). */
DecodedPicture
Turned(const DecodedPicture &stored, int o)
{
	const int32_t w = stored.width, h = stored.height;
	DecodedPicture shown;
	shown.width = o >= 5 ? h : w;
	shown.height = o >= 5 ? w : h;
	shown.pixels.resize(stored.pixels.size());
	for (int32_t y = 0; y < shown.height; y++)
		for (int32_t x = 0; x < shown.width; x++) {
			int32_t sx = x, sy = y;
			switch (o) {
			case 2: sx = w - 1 - x; break;
			case 3: sx = w - 1 - x, sy = h - 1 - y; break;
			case 4: sy = h - 1 - y; break;
			case 5: sx = y, sy = x; break;
			case 6: sx = y, sy = h - 1 - x; break;
			case 7: sx = w - 1 - y, sy = h - 1 - x; break;
			case 8: sx = w - 1 - y, sy = x; break;
			}
			shown.pixels[size_t(y) * size_t(shown.width) + size_t(x)] =
				stored.pixels[size_t(sy) * size_t(w) + size_t(sx)];
		}
	return shown;
}

std::string
Ppm(const DecodedPicture &p)
{
	std::string ppm = "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
	for (uint32_t c : p.pixels)
		ppm += {char(c & 0xFF), char(c >> 8 & 0xFF), char(c >> 16 & 0xFF)};
	return ppm;
}

/* The page of file against the page of the reference picture. */
void
ExpectSamePage(const TempDir &dir, const std::string &file, const DecodedPicture &reference)
{
	NoticeRecorder recorder;
	WriteFile(dir.file("reference.ppm"), Ppm(reference));
	ASSERT_EQ(ConvertBitmapToTable(dir.file("reference.ppm").c_str(), dir.file("reference.html").c_str(), 3), 0);
	ASSERT_EQ(ConvertBitmapToTable(file.c_str(), dir.file("page.html").c_str(), 3), 0) << recorder.notices()[0].text;
	EXPECT_TRUE(ReadFile(dir.file("page.html")) == ReadFile(dir.file("reference.html"))) << "the pages differ";
}

bool
RefusedAsPage(const TempDir &dir, const std::string &file)
{
	NoticeRecorder recorder;
	WriteFile(dir.file("page.html"), std::string("old page"));
	return ConvertBitmapToTable(file.c_str(), dir.file("page.html").c_str(), 3) == 1 &&
	       ReadFile(dir.file("page.html")) == "old page" && recorder.notices().size() == 1;
}

/* 61x37 (no whole number of blocks either way) of smooth gradients and
 * sharp edges, so that every kind of sampling and rounding shows. */
std::string
Source()
{
	std::string ppm = "P6\n61 37\n255\n";
	for (int y = 0; y < 37; y++)
		for (int x = 0; x < 61; x++)
			ppm += {char(x * 4), char(y * 6 + (x > 30 ? 40 : 0)), char((x * y) % 256)};
	return ppm;
}

/* ' around a path for the shell. */
std::string
Q(const std::string &path)
{
	return "'" + path + "'";
}

/* Flips a byte at the first place after marker where `at` bytes in. */
void
Patch(const std::string &path, const std::string &marker, size_t at, char value)
{
	std::string bytes = ReadFile(path);
	const size_t found = bytes.find(marker);
	ASSERT_NE(found, std::string::npos) << marker;
	bytes[found + at] = value;
	WriteFile(path, bytes);
}

TEST(JpegTest, EveryKindAgainstDjpegTurnedTheExifWay)
{
	ASSERT_TRUE(Shell("command -v cjpeg djpeg jpegtran /usr/bin/convert && /usr/bin/python3 -c 'import PIL' >/dev/null"))
		<< "cjpeg, djpeg, jpegtran, ImageMagick or Pillow is missing (./build.sh test installs them)";
	TempDir dir;
	const std::string in = dir.file("in.ppm");
	WriteFile(in, Source());
	/* jpegtran's scripts of 64 scans, as many as are taken, and of 65: the
	 * DC of all three components, then each one's AC coefficients, one a
	 * scan, its last scan taking the rest. */
	for (int count : {64, 65}) {
		std::string scans = "0,1,2: 0-0, 0, 0;\n";
		for (int c = 0; c < 3; c++) {
			const int own = (count - 1) / 3 + (c < (count - 1) % 3);
			for (int k = 1; k < own; k++)
				scans += std::to_string(c) + ": " + std::to_string(k) + "-" + std::to_string(k) + ", 0, 0;\n";
			scans += std::to_string(c) + ": " + std::to_string(own) + "-63, 0, 0;\n";
		}
		WriteFile(dir.file("scans" + std::to_string(count)), scans);
	}
	const std::string pillow = "/usr/bin/python3 -c 'import sys; from PIL import Image; e = Image.Exif(); "
	                           "e[0x0112] = int(sys.argv[3]); Image.open(sys.argv[1]).save(sys.argv[2], "
	                           "quality=85, exif=e.tobytes(), progressive=sys.argv[3] == \"6\")' ";
	struct Kind {
		std::string name, make; /* the shell command, from IN to OUT */
		int orientation;
	};
	std::vector<Kind> kinds = {
		{"baseline 4:2:0", "cjpeg -quality 90 IN >OUT", 1},
		{"baseline 4:2:2", "cjpeg -sample 2x1 IN >OUT", 1},
		{"baseline 4:4:4", "cjpeg -sample 1x1 -quality 100 IN >OUT", 1},
		{"restart markers", "cjpeg -restart 1B IN >OUT", 1},
		{"progressive", "cjpeg -progressive IN >OUT", 1},
		{"made progressive by jpegtran", "cjpeg IN | jpegtran -progressive -copy all >OUT", 1},
		{"optimised by jpegtran", "cjpeg IN | jpegtran -optimize >OUT", 1},
		{"greyscale", "cjpeg -grayscale IN >OUT", 1},
		{"RGB", "cjpeg -rgb IN >OUT", 1},
		{"arithmetic coding", "cjpeg -arithmetic IN >OUT", 1},
		{"extended (16-bit quantisation tables)", "cjpeg -quality 5 IN >OUT", 1},
		{"ImageMagick", "/usr/bin/convert IN jpg:OUT", 1},
		{"ImageMagick CMYK (Adobe, inverted)", "/usr/bin/convert IN -colorspace CMYK jpg:OUT", 1},
		{"64 scans", "cjpeg IN | jpegtran -scans " + Q(dir.file("scans64")) + " >OUT", 1},
		{"65 scans", "cjpeg IN | jpegtran -scans " + Q(dir.file("scans65")) + " >OUT", 0},
	};
	for (int o = 1; o <= 8; o++)
		kinds.push_back({"Pillow, orientation " + std::to_string(o), pillow + "IN OUT " + std::to_string(o), o});
	for (const Kind &kind : kinds) {
		SCOPED_TRACE(kind.name);
		std::string make = kind.make;
		make.replace(make.find("IN"), 2, Q(in));
		make.replace(make.find("OUT"), 3, Q(dir.file("k.jpg")));
		ASSERT_TRUE(Shell(make)) << make;
		if (kind.orientation == 0) {
			EXPECT_TRUE(RefusedAsPage(dir, dir.file("k.jpg"))) << "more scans than are taken";
			continue;
		}
		ASSERT_TRUE(Shell("djpeg -pnm " + Q(dir.file("k.jpg")) + " >" + Q(dir.file("k.pnm"))));
		ExpectSamePage(dir, dir.file("k.jpg"), Turned(DecodeFile(dir.file("k.pnm")), kind.orientation));

		/* YCCK: the same file, its Adobe marker saying so. */
		if (kind.name.find("CMYK") != std::string::npos) {
			Patch(dir.file("k.jpg"), "Adobe", 11, 2);
			ASSERT_TRUE(Shell("djpeg -pnm " + Q(dir.file("k.jpg")) + " >" + Q(dir.file("k.pnm"))));
			ExpectSamePage(dir, dir.file("k.jpg"), DecodeFile(dir.file("k.pnm")));
		}
	}

	/* Cut short anywhere, 12-bit samples, lossless: refused, the page kept. */
	ASSERT_TRUE(Shell("cjpeg -progressive " + Q(in) + " >" + Q(dir.file("whole.jpg"))));
	const std::string whole = ReadFile(dir.file("whole.jpg"));
	for (size_t cut : {size_t(2), size_t(200), whole.size() / 2, whole.size() - 2}) {
		WriteFile(dir.file("cut.jpg"), whole.substr(0, cut));
		EXPECT_TRUE(RefusedAsPage(dir, dir.file("cut.jpg"))) << "cut at " << cut;
	}
	ASSERT_TRUE(Shell("cjpeg " + Q(in) + " >" + Q(dir.file("12-bit.jpg"))));
	Patch(dir.file("12-bit.jpg"), "\xFF\xC0", 4, 12);
	EXPECT_TRUE(RefusedAsPage(dir, dir.file("12-bit.jpg")));
	ASSERT_TRUE(Shell("cjpeg " + Q(in) + " >" + Q(dir.file("lossless.jpg"))));
	Patch(dir.file("lossless.jpg"), "\xFF\xC0", 1, char(0xC3));
	EXPECT_TRUE(RefusedAsPage(dir, dir.file("lossless.jpg")));
}

/* Photographs from cameras (Canon, Olympus, Jenoptik), as a Debian package
 * ships them; ./build.sh test fetches them. */
TEST(JpegTest, CameraPhotographsAgainstDjpeg)
{
	const std::string folder = TILERY_PHOTO_DIR;
	const std::vector<std::string> photos = {"anne_helene.jpg", "bar55.jpg", "grand_canyon_2.jpg", "sunset.jpg"};
	if (!FileExists(folder + "/" + photos[0]))
		GTEST_SKIP() << "no photographs in " << folder << ": ./build.sh test fetches them";
	ASSERT_TRUE(Shell("command -v djpeg >/dev/null")) << "no djpeg (./build.sh test installs it)";
	TempDir dir;
	for (const std::string &photo : photos) {
		SCOPED_TRACE(photo);
		ASSERT_TRUE(Shell("djpeg -pnm " + Q(folder + "/" + photo) + " >" + Q(dir.file("p.pnm"))));
		ExpectSamePage(dir, folder + "/" + photo, DecodeFile(dir.file("p.pnm")));
	}
}

TEST(WebpTest, LossyLosslessAndAlphaAgainstDwebp)
{
	ASSERT_TRUE(Shell("command -v cwebp dwebp img2webp >/dev/null"))
		<< "cwebp, dwebp or img2webp is missing (./build.sh test installs them)";
	TempDir dir;
	PngFields rgba; /* alpha from clear to opaque, over the colours */
	rgba.width = 61, rgba.height = 37, rgba.colorType = 6;
	for (uint32_t y = 0; y < 37; y++)
		for (uint32_t x = 0; x < 61; x++)
			rgba.samples.insert(rgba.samples.end(), {x * 4, y * 6, (x * y) % 256, x < 8 ? 0 : x * 255 / 60});
	WriteFile(dir.file("in.png"), MakePng(rgba));
	for (const char *options : {"-q 75", "-q 100 -sharp_yuv", "-lossless", "-near_lossless 60", "-q 50 -noalpha"}) {
		SCOPED_TRACE(options);
		ASSERT_TRUE(Shell(std::string("cwebp ") + options + " " + Q(dir.file("in.png")) + " -o " + Q(dir.file("k.webp"))));
		ASSERT_TRUE(Shell("dwebp " + Q(dir.file("k.webp")) + " -o " + Q(dir.file("k.png"))));
		ExpectSamePage(dir, dir.file("k.webp"), DecodeFile(dir.file("k.png")));
	}
	const std::string whole = ReadFile(dir.file("k.webp"));
	for (size_t cut : {size_t(12), size_t(40), whole.size() / 2, whole.size() - 1}) {
		WriteFile(dir.file("cut.webp"), whole.substr(0, cut));
		EXPECT_TRUE(RefusedAsPage(dir, dir.file("cut.webp"))) << "cut at " << cut;
	}
	for (uint32_t &sample : rgba.samples)
		sample = 255 - sample;
	WriteFile(dir.file("second.png"), MakePng(rgba));
	ASSERT_TRUE(Shell("img2webp -loop 0 " + Q(dir.file("in.png")) + " " + Q(dir.file("second.png")) + " -o " +
	                Q(dir.file("animated.webp"))));
	EXPECT_TRUE(RefusedAsPage(dir, dir.file("animated.webp"))) << "an animation";
}

} // namespace
