/* Pages drawn by real browsers: every screen pixel of a headless screenshot
 * is compared with the picture the page came from, scaled cellSize times. */
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bmp_writer.h"
#include "convert/convert.h"
#include "picture/picture.h"
#include "picture_writer.h"
#include "notice_recorder.h"
#include "test_files.h"

namespace {

constexpr int BODY_MARGIN = 8;   /* the browsers' default margin of the body */
constexpr int WINDOW_SPARE = 40; /* white room right of and below the table */

using Painter = std::function<uint32_t(int32_t x, int32_t y)>;

struct Case {
	const char *name;
	int32_t width, height;
	int cellSize;
	Painter paint; /* 0x00RRGGBB */
};

/* gtest names a case by its name, not by its bytes. */
void
PrintTo(const Case &c, std::ostream *os)
{
	*os << c.name;
}

constexpr uint32_t R = 0xFF0000, W = 0xFFFFFF;

Painter
Rows(int32_t width, std::vector<uint32_t> rgb)
{
	return [width, rgb](int32_t x, int32_t y) { return rgb[size_t(y) * size_t(width) + size_t(x)]; };
}

uint32_t
Hash(int32_t x, int32_t y)
{
	uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
	h ^= h >> 15, h *= 0x2C1B3C6Du, h ^= h >> 12;
	return h;
}

/* A logo on a white background: shapes in a 16-colour palette. */
uint32_t
Logo(int32_t x, int32_t y)
{
	static const uint32_t palette[16] = {0xFFFFFF, 0x000000, 0xD02030, 0x2060D0, 0xF0B020, 0x30A050,
	                                     0x808080, 0xC0C0C0, 0x800080, 0x008080, 0xFF8000, 0x004000,
	                                     0x400000, 0x000040, 0xFFC0C0, 0xC0FFC0};
	const int32_t dx = x - 50, dy = y - 60;
	if (dx * dx + dy * dy < 900)
		return palette[2 + (dx * dx + dy * dy) / 300];
	if (x > 90 && x < 150 && y > 20 && y < 50)
		return palette[3 + (x / 7 + y / 9) % 4];
	if (y > 80 && y < 110 && x > 85 && x < 155 && (x - y) % 9 < 3)
		return palette[8 + (x / 13) % 8];
	if (x == y || x == 159 - y)
		return palette[1];
	return palette[0];
}

uint32_t
PaletteNoise(int32_t x, int32_t y)
{
	const uint32_t c = Hash(x, y) % 16;
	return (c & 3) * 85 << 16 | (c >> 2 & 3) * 85 << 8 | 0x40;
}

/* A 1400-pixel run, more than a cell may span, among short ones. */
uint32_t
LongRuns(int32_t x, int32_t y)
{
	if (y == 0)
		return x < 1400 ? R : x % 2 ? W : 0x0000FF;
	if (y == 1)
		return x < 3 || x > 1200 ? 0x00FF00 : W;
	return x % 500 < 250 ? R : 0x202020;
}

const std::vector<Case> &
Cases()
{
	static const std::vector<Case> cases = {
		{"OnePixel", 1, 1, 10, Rows(1, {R})},
		{"TwoByTwoThenOne", 3, 2, 10, Rows(3, {R, R, W, R, R, R})},
		{"TieGoesToTheTallerCell", 4, 2, 10, Rows(4, {R, R, R, R, R, R, W, W})},
		{"StaysWide", 3, 2, 10, Rows(3, {R, R, R, R, W, W})},
		{"RepeatedNarrowing", 4, 4, 10, Rows(4, {R, R, R, R, R, R, R, W, R, R, W, W, R, R, W, W})},
		{"CoveredPixelStopsGrowth", 2, 3, 10, Rows(2, {W, R, R, R, R, R})},
		{"Alternating", 3, 2, 10, Rows(3, {R, W, R, W, R, W})},
		{"Logo", 160, 120, 4, Logo},
		{"PaletteNoise", 64, 40, 3, PaletteNoise},
		{"WiderThanAThousand", 1500, 3, 1, LongRuns},
		{"OnePixelWide", 1, 60, 3, [](int32_t, int32_t y) { return y < 20 || y > 45 ? R : y % 3 ? W : 0x00FF00; }},
		{"OnePixelHigh", 70, 1, 10, [](int32_t x, int32_t) { return x < 30 ? W : x % 4 ? R : 0x0000FF; }},
	};
	return cases;
}

struct Browser {
	const char *name;
	const char *program;
	/* Arguments for a screenshot of `url` in a window of w x h pixels. */
	std::function<QStringList(const TempDir &, const QString &url, const QString &png, int w, int h)> arguments;
};

const Browser CHROMIUM = {
	"Chromium", "chromium",
	[](const TempDir &dir, const QString &url, const QString &png, int w, int h) {
		QStringList a = {"--headless=new", "--disable-gpu", "--no-first-run", "--disable-background-networking",
		                 "--disable-component-update", "--disable-sync",
		                 "--user-data-dir=" + QString::fromStdString(dir.file("profile")),
		                 "--force-device-scale-factor=1", "--hide-scrollbars",
		                 QStringLiteral("--window-size=%1,%2").arg(w).arg(h), "--screenshot=" + png, url};
		if (geteuid() == 0)
			a.prepend("--no-sandbox"); /* its sandbox refuses to start as root */
		return a;
	},
};

/* With its automatic dark theme, as the web views of mail apps darken
 * what they show. */
const Browser CHROMIUM_DARK = {
	"Chromium, dark", "chromium",
	[](const TempDir &dir, const QString &url, const QString &png, int w, int h) {
		return QStringList{"--force-dark-mode", "--enable-features=WebContentsForceDark"} +
		       CHROMIUM.arguments(dir, url, png, w, h);
	},
};

const Browser FIREFOX = {
	"Firefox", "firefox-esr",
	[](const TempDir &dir, const QString &url, const QString &png, int w, int h) {
		return QStringList{"--headless", "--no-remote", "--profile", QString::fromStdString(dir.file("profile")),
		                   QStringLiteral("--window-size=%1,%2").arg(w).arg(h), "--screenshot", png, url};
	},
};

/* The browser's drawing of a file in a window of w x h pixels; a null
 * image, with the reason in *said, when there is none. */
QImage
Screenshot(const Browser &browser, const TempDir &dir, const std::string &file, int w, int h, QByteArray *said)
{
	const std::string png = dir.file("shot.png");
	std::remove(png.c_str());
	mkdir(dir.file("profile").c_str(), 0700);
	QProcess run;
	QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
	environment.insert("HOME", QString::fromStdString(dir.path()));
	run.setProcessEnvironment(environment);
	run.setProcessChannelMode(QProcess::MergedChannels);
	run.start(QString::fromUtf8(browser.program),
	          browser.arguments(dir, "file://" + QString::fromStdString(file), QString::fromStdString(png), w, h));
	if (!run.waitForFinished(90000)) {
		*said = QByteArray(browser.name) + " did not finish";
		return QImage();
	}
	*said = run.readAll();
	if (run.exitCode() != 0)
		return QImage();
	return QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
}

/* How the table reaches the browser: the page as written, or the fragment
 * (drawn by HTML attributes alone) in a page of no CSS without and with a
 * DOCTYPE, or in a mail's usual layout: a centred table 600 pixels wide,
 * text of 16 pixels with a line height of 1.5. */
enum class Form { PAGE, FRAGMENT_QUIRKS, FRAGMENT_STANDARD, FRAGMENT_IN_A_MAIL, FRAGMENT_EDITED };
constexpr int MAIL_SIDE = 100; /* the window's room beside the mail's table */

/* The fragment as a mail editor keeps it once pasted (Thunderbird's
 * Insert > HTML, then the draft saved): tags in lower case, a TBODY,
 * attributes quoted, every element on a line of its own, indented, and a
 * line break in every empty cell. */
std::string
AsAnEditorKeepsIt(const std::string &fragment)
{
	auto quoted = [](const std::string &tag) {
		std::string out, name = tag.substr(1, tag.find_first_of(" >") - 1);
		for (char &c : name)
			c = char(std::tolower(c));
		out = "<" + name;
		for (size_t at = tag.find_first_of(" \r\n"); at != std::string::npos && at < tag.size() - 1;) {
			const size_t start = tag.find_first_not_of(" \r\n", at), equals = tag.find('=', start);
			const bool inQuotes = tag[equals + 1] == '"';
			const size_t end = inQuotes ? tag.find('"', equals + 2) + 1 : tag.find_first_of(" \r\n>", start);
			const std::string value = tag.substr(equals + 1, end - equals - 1);
			out += " " + tag.substr(start, equals - start) + "=" + (inQuotes ? value : "\"" + value + "\"");
			at = end;
		}
		return out + ">";
	};
	std::string edited;
	for (size_t at = fragment.find('<'); at != std::string::npos; at = fragment.find('<', at + 1)) {
		const std::string tag = fragment.substr(at, fragment.find('>', at) + 1 - at);
		if (tag.rfind("<TABLE", 0) == 0)
			edited += quoted(tag) + "\n  <tbody>\n";
		else if (tag == "<TR>")
			edited += "    <tr>\n";
		else if (tag.rfind("<TD", 0) == 0)
			edited += "      " + quoted(tag) + "<br>\n      </td>\n";
		else if (tag == "</TR>")
			edited += "    </tr>\n";
		else if (tag == "</TABLE>")
			edited += "  </tbody>\n</table>\n";
	}
	return edited;
}

/* A reader who asks for text of at least `pixels`, in the browser's
 * profile. */
void
AskForAMinimumFontSize(const Browser &browser, const TempDir &dir, int pixels)
{
	const std::string profile = dir.file("profile"), size = std::to_string(pixels);
	mkdir(profile.c_str(), 0700);
	if (std::string(browser.name) == "Chromium") {
		mkdir((profile + "/Default").c_str(), 0700);
		WriteFile(profile + "/Default/Preferences", "{\"webkit\":{\"webprefs\":{\"minimum_font_size\":" + size +
		                                                ",\"minimum_logical_font_size\":" + size + "}}}");
	} else {
		std::string prefs;
		for (const char *language : {"x-western", "x-unicode", "ja"})
			prefs += "user_pref(\"font.minimum-size." + std::string(language) + "\", " + size + ");\n";
		WriteFile(profile + "/user.js", prefs);
	}
}

/* Converts the picture, has the browser draw it in the given form, and
 * counts the screen pixels that differ from the picture scaled up (or,
 * outside the table, from the white page). */
void
ExpectDrawnExactly(const Browser &browser, const Case &c, Form form = Form::PAGE)
{
	if (QStandardPaths::findExecutable(QString::fromUtf8(browser.program)).isEmpty())
		FAIL() << browser.program << " is not installed (./build.sh test installs it)";
	TempDir dir;
	std::vector<uint32_t> rgb(size_t(c.width) * size_t(c.height));
	for (int32_t y = 0; y < c.height; y++)
		for (int32_t x = 0; x < c.width; x++)
			rgb[size_t(y) * size_t(c.width) + size_t(x)] = c.paint(x, y);
	const std::string picture = dir.file("picture.bmp"), page = dir.file("page.html");
	WriteFile(picture, MakeBmp24(c.width, c.height, rgb));
	PageOptions options = DEFAULT_PAGE_OPTIONS;
	options.fragment = form != Form::PAGE;
	{
		NoticeRecorder quiet;
		ASSERT_EQ(ConvertPicture(picture.c_str(), page.c_str(), c.cellSize, options, nullptr), 0);
	}

	const int tableWidth = c.width * c.cellSize, tableHeight = c.height * c.cellSize;
	int windowWidth = std::max(200, tableWidth + 2 * BODY_MARGIN + WINDOW_SPARE);
	const int windowHeight = std::max(200, tableHeight + 2 * BODY_MARGIN + WINDOW_SPARE);
	int left = BODY_MARGIN, top = BODY_MARGIN;
	const std::string fragment = ReadFile(page);
	switch (form) {
	case Form::PAGE: break;
	case Form::FRAGMENT_QUIRKS: WriteFile(page, "<html><body>" + fragment + "</body></html>"); break;
	case Form::FRAGMENT_STANDARD: WriteFile(page, "<!DOCTYPE html><html><body>" + fragment + "</body></html>"); break;
	case Form::FRAGMENT_IN_A_MAIL:
	case Form::FRAGMENT_EDITED: {
		const int outer = std::max(600, tableWidth);
		windowWidth = outer + 2 * MAIL_SIDE;
		left = MAIL_SIDE, top = 0;
		const bool edited = form == Form::FRAGMENT_EDITED;
		if (edited)
			AskForAMinimumFontSize(browser, dir, 12);
		WriteFile(page, std::string("<!DOCTYPE html><html><body style=\"margin:0;font-size:16px;line-height:") +
		                    (edited ? "24px" : "1.5") + "\"><table width=" + std::to_string(outer) +
		                    " align=center border=0 cellspacing=0 cellpadding=0><tr><td>" +
		                    (edited ? AsAnEditorKeepsIt(fragment) : fragment) + "</td></tr></table></body></html>");
		break;
	}
	}
	QByteArray said;
	const QImage shot = Screenshot(browser, dir, page, windowWidth, windowHeight, &said);
	ASSERT_FALSE(shot.isNull()) << "no screenshot: " << said.constData();
	ASSERT_GE(shot.width(), tableWidth + left);
	ASSERT_GE(shot.height(), tableHeight + top);
	long wrong = 0;
	std::string first;
	for (int sy = 0; sy < shot.height(); sy++) {
		for (int sx = 0; sx < shot.width(); sx++) {
			const int px = sx - left, py = sy - top;
			const bool inTable = px >= 0 && py >= 0 && px < tableWidth && py < tableHeight;
			const uint32_t expected =
				inTable ? rgb[size_t(py / c.cellSize) * size_t(c.width) + size_t(px / c.cellSize)] : W;
			const uint32_t got = shot.pixel(sx, sy) & 0xFFFFFF;
			if (got != expected && wrong++ == 0)
				first = "screen pixel " + std::to_string(sx) + "," + std::to_string(sy) + ": got " +
				        std::to_string(got) + ", expected " + std::to_string(expected);
		}
	}
	EXPECT_EQ(wrong, 0) << browser.name << " drew " << wrong << " of " << shot.width() * shot.height()
	                    << " screen pixels wrong; first " << first;
}

class ChromiumTest : public ::testing::TestWithParam<Case> {};
class FirefoxTest : public ::testing::TestWithParam<Case> {};

TEST_P(ChromiumTest, DrawsThePagePixelForPixel)
{
	ExpectDrawnExactly(CHROMIUM, GetParam());
}

TEST_P(FirefoxTest, DrawsThePagePixelForPixel)
{
	ExpectDrawnExactly(FIREFOX, GetParam());
}

/* Without CSS, as mail clients that drop it show a mail. */
TEST_P(ChromiumTest, DrawsTheFragmentWithoutCssPixelForPixel)
{
	for (Form form : {Form::FRAGMENT_QUIRKS, Form::FRAGMENT_STANDARD, Form::FRAGMENT_IN_A_MAIL}) {
		SCOPED_TRACE(int(form));
		ExpectDrawnExactly(CHROMIUM, GetParam(), form);
	}
}

TEST_P(FirefoxTest, DrawsTheFragmentWithoutCssPixelForPixel)
{
	for (Form form : {Form::FRAGMENT_QUIRKS, Form::FRAGMENT_STANDARD, Form::FRAGMENT_IN_A_MAIL}) {
		SCOPED_TRACE(int(form));
		ExpectDrawnExactly(FIREFOX, GetParam(), form);
	}
}

/* Pasted into a mail editor, which fills every empty cell with a line
 * break, in a template whose text is 16 pixels on lines of 24, for a
 * reader whose text is 12 pixels at least. */
class ChromiumEditedTest : public ::testing::TestWithParam<Case> {};
class FirefoxEditedTest : public ::testing::TestWithParam<Case> {};

TEST_P(ChromiumEditedTest, DrawsTheFragmentAsAMailEditorKeepsItPixelForPixel)
{
	ExpectDrawnExactly(CHROMIUM, GetParam(), Form::FRAGMENT_EDITED);
}

TEST_P(FirefoxEditedTest, DrawsTheFragmentAsAMailEditorKeepsItPixelForPixel)
{
	ExpectDrawnExactly(FIREFOX, GetParam(), Form::FRAGMENT_EDITED);
}

std::string
CaseName(const ::testing::TestParamInfo<Case> &info)
{
	return info.param.name;
}

std::vector<Case>
Named(std::initializer_list<const char *> names)
{
	std::vector<Case> chosen;
	for (const Case &c : Cases())
		for (const char *name : names)
			if (std::string(c.name) == name)
				chosen.push_back(c);
	return chosen;
}

/* With --transparent, a logo of clear, half-clear and solid pixels on a
 * page coloured below: the clear ones show the page's colour, the others
 * are their colour laid over the background asked for. */
TEST(ChromiumTransparencyTest, ClearPixelsShowWhatLiesBelow)
{
	TempDir dir;
	constexpr int32_t W = 40, H = 30;
	constexpr uint32_t PAGE = 0x00FF00, BACKGROUND = 0xFF00FF;
	PngFields png;
	png.width = W, png.height = H, png.colorType = 6;
	std::vector<uint32_t> expected;
	for (int32_t y = 0; y < H; y++)
		for (int32_t x = 0; x < W; x++) {
			const uint32_t rgb = Logo(x * 4, y * 4), alpha = x < 10 ? 0 : x < 20 ? 128 : 255;
			png.samples.insert(png.samples.end(), {rgb >> 16, rgb >> 8 & 0xFF, rgb & 0xFF, alpha});
			uint32_t shown = 0;
			for (int shift = 0; shift < 24; shift += 8)
				shown |= ((rgb >> shift & 0xFF) * alpha + (BACKGROUND >> shift & 0xFF) * (255 - alpha) + 127) / 255
				         << shift;
			expected.push_back(alpha == 0 ? PAGE : shown);
		}
	const std::string picture = dir.file("logo.png"), page = dir.file("fragment.html");
	WriteFile(picture, MakePng(png));
	PageOptions options = DEFAULT_PAGE_OPTIONS;
	options.fragment = options.keepClear = true;
	options.background = 0xFF00FF; /* magenta, the same packed either way */
	{
		NoticeRecorder quiet;
		ASSERT_EQ(ConvertPicture(picture.c_str(), page.c_str(), 2, options, nullptr), 0);
	}
	WriteFile(page, "<html><body bgcolor=#00ff00>" + ReadFile(page) + "</body></html>");
	QByteArray said;
	const QImage shot = Screenshot(CHROMIUM, dir, page, 200, 200, &said);
	ASSERT_FALSE(shot.isNull()) << said.constData();
	long wrong = 0;
	for (int sy = BODY_MARGIN; sy < BODY_MARGIN + 2 * H; sy++)
		for (int sx = BODY_MARGIN; sx < BODY_MARGIN + 2 * W; sx++)
			wrong += (shot.pixel(sx, sy) & 0xFFFFFF) !=
			         expected[size_t((sy - BODY_MARGIN) / 2) * W + size_t((sx - BODY_MARGIN) / 2)];
	EXPECT_EQ(wrong, 0) << "screen pixels drawn wrong";
	EXPECT_EQ(shot.pixel(BODY_MARGIN + 2 * W, BODY_MARGIN) & 0xFFFFFF, PAGE) << "the page beside the table";
}

/* The peak signal-to-noise ratio of a drawing against the picture, in dB,
 * over the part of the picture it covers: drawn(x, y) is the colour drawn
 * at the picture's pixel (x, y), packed as the picture's are. */
double
Psnr(const DecodedPicture &picture, int32_t width, int32_t height, const std::function<uint32_t(int32_t, int32_t)> &drawn)
{
	double error = 0;
	for (int32_t y = 0; y < height; y++)
		for (int32_t x = 0; x < width; x++) {
			const uint32_t a = picture.pixels[size_t(y) * size_t(picture.width) + size_t(x)], b = drawn(x, y);
			for (int shift = 0; shift < 24; shift += 8) {
				const double d = double(a >> shift & 0xFF) - double(b >> shift & 0xFF);
				error += d * d;
			}
		}
	return 10 * std::log10(255.0 * 255.0 * 3.0 * width * height / error);
}

DecodedPicture
Decoded(const std::string &path)
{
	const std::string bytes = ReadFile(path);
	DecodedPicture picture;
	DecodePicture(PictureSource{bytes.size(), reinterpret_cast<const unsigned char *>(bytes.data()), -1}, &picture);
	return picture;
}

/* The bytes of the fragment of a picture file as sent in a mail (each =
 * three, as quoted-printable sends it), converted in this process; -1
 * when it is refused. */
long long
FragmentBytes(const std::string &picture, int cellSize, long long maxBytes, const TempDir &dir)
{
	const std::string page = dir.file("fragment.html");
	PageOptions options = DEFAULT_PAGE_OPTIONS;
	options.fragment = true;
	options.maxBytes = maxBytes;
	NoticeRecorder quiet;
	if (ConvertPicture(picture.c_str(), page.c_str(), cellSize, options, nullptr) != 0)
		return -1;
	const std::string fragment = ReadFile(page);
	return (long long)fragment.size() + 2 * std::count(fragment.begin(), fragment.end(), '=');
}

/* At 100,000 bytes, on photographs from cameras: the best a user gets by
 * hand today (ImageMagick shrinks by 1/k without dithering to N colours,
 * and the result is converted exactly at cell size k: the best over k = 1
 * to 16, with for each the most colours up to 256 that fit) against
 * --max-bytes, whose page Chromium draws; both fragments' bytes as sent
 * in a mail. Prints the README's table, and
 * keeps the drawings as build/budget-100k-NAME.png. For each k, 256
 * colours that fit, or two that do not, settle it at once; only the
 * shrinks in between are searched by halving. The four pages are drawn in
 * one start of Chromium, one table below the other. */
TEST(ChromiumBudgetTest, AtAHundredThousandBytesThePageBeatsShrinkingByHand)
{
	constexpr long long BUDGET = 100000;
	struct Photo {
		const char *name;
		DecodedPicture picture;
		double byHand;
		std::string how;
		long long bytes;
	};
	std::vector<Photo> photos;
	TempDir dir;
	std::string mail = "<html><body>";
	for (const char *name : {"skagen.jpg", "grand_canyon_2.jpg", "chelsea.png", "coffee.png"}) {
		SCOPED_TRACE(name);
		const std::string photo = std::string(TILERY_PHOTO_DIR) + "/" + name;
		if (!FileExists(photo))
			GTEST_SKIP() << photo << " is missing: ./build.sh test fetches the photographs";
		Photo p{name, Decoded(photo), 0, "", 0};
		ASSERT_GT(p.picture.width, 0);

		/* Decoded once: each shrink then starts from the same pixels, sooner. */
		const std::string decoded = dir.file("photo.ppm");
		ASSERT_EQ(std::system(("MAGICK_THREAD_LIMIT=1 /usr/bin/convert '" + photo + "' '" + decoded + "'").c_str()), 0);
		for (int k = 1; k <= 16; k++) {
			const std::string shrunk = dir.file("shrunk.ppm"), kept = dir.file("fits.ppm");
			/* The bytes when the shrink fits (it is then kept), else 0. One
			 * thread: as fast on a loaded machine, and the same colours
			 * whatever it has. */
			auto fits = [&](int colours) {
				const std::string make = "MAGICK_THREAD_LIMIT=1 /usr/bin/convert '" + decoded + "' -resize " +
				                         std::to_string(100.0 / k) + "% -dither None -colors " +
				                         std::to_string(colours) + " '" + shrunk + "'";
				const long long bytes = std::system(make.c_str()) == 0 ? FragmentBytes(shrunk, k, 0, dir) : -1;
				if (bytes <= 0 || bytes > BUDGET)
					return 0LL;
				std::rename(shrunk.c_str(), kept.c_str());
				return bytes;
			};
			int lo = 256;
			long long bytes = fits(lo);
			if (!bytes) {
				if (!(bytes = fits(lo = 2)))
					continue;
				for (int hi = 256; hi - lo > 1;) { /* lo fits, hi does not */
					const int mid = (lo + hi) / 2;
					if (const long long b = fits(mid))
						lo = mid, bytes = b;
					else
						hi = mid;
				}
			}
			const DecodedPicture small = Decoded(kept);
			const DecodedPicture &picture = p.picture;
			const double psnr = Psnr(picture, std::min(picture.width, small.width * k),
			                         std::min(picture.height, small.height * k), [&](int32_t x, int32_t y) {
				                         return small.pixels[size_t(y / k) * size_t(small.width) + size_t(x / k)];
			                         });
			if (psnr > p.byHand)
				p.byHand = psnr, p.how = "1/" + std::to_string(k) + ", " + std::to_string(lo) + " colours, " +
				                         std::to_string(bytes) + " bytes";
		}
		ASSERT_GT(p.byHand, 0) << "nothing fits by hand";

		p.bytes = FragmentBytes(photo, 1, BUDGET, dir);
		ASSERT_GT(p.bytes, 0);
		EXPECT_LE(p.bytes, BUDGET);
		mail += ReadFile(dir.file("fragment.html"));
		photos.push_back(std::move(p));
	}

	int width = 0, height = 0;
	for (const Photo &p : photos)
		width = std::max(width, p.picture.width), height += p.picture.height;
	WriteFile(dir.file("mail.html"), mail + "</body></html>");
	QByteArray said;
	const QImage shot = Screenshot(CHROMIUM, dir, dir.file("mail.html"), width + 2 * BODY_MARGIN + 40,
	                               height + 2 * BODY_MARGIN + 40, &said);
	ASSERT_FALSE(shot.isNull()) << said.constData();
	int top = BODY_MARGIN;
	for (const Photo &p : photos) {
		SCOPED_TRACE(p.name);
		const double drawn = Psnr(p.picture, p.picture.width, p.picture.height, [&](int32_t x, int32_t y) {
			const uint32_t c = shot.pixel(x + BODY_MARGIN, y + top) & 0xFFFFFF;
			return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
		});
		std::printf("| %s | %s: %.2f dB | %lld bytes: %.2f dB |\n", p.name, p.how.c_str(), p.byHand, p.bytes, drawn);
		/* For a person to look at. */
		shot.copy(BODY_MARGIN, top, p.picture.width, p.picture.height)
			.save(QStringLiteral(TILERY_SHOT_DIR "/budget-100k-%1.png").arg(QString::fromUtf8(p.name).section('.', 0, 0)));
		EXPECT_GT(drawn, p.byHand) << "no better than shrinking by hand";
		top += p.picture.height;
	}
}

/* The HTML part of a message, decoded as a mail program decodes it
 * (Python's email package), into a file of its own. */
void
WriteMessageHtml(const std::string &message, const std::string &html)
{
	const std::string command = "/usr/bin/python3 -c 'import email, sys\n"
	                            "m = email.message_from_bytes(open(sys.argv[1], \"rb\").read())\n"
	                            "open(sys.argv[2], \"wb\").write(list(m.walk())[-1].get_payload(decode=True))' '" +
	                            message + "' '" + html + "'";
	ASSERT_EQ(std::system(command.c_str()), 0);
}

/* A dark theme that darkens light backgrounds, as mail apps' web views do,
 * leaves the table's colours: a fragment in a page of no style of its own,
 * a page without CSS and a message's HTML, each drawn by Chromium with and
 * without its automatic dark theme, draw every table pixel as the fragment
 * does in light; for a logo of white lines on light and dark, the very
 * picture. And a photograph on a grid 3 times coarser, where the build
 * has fetched them.
 * Each page is a document in a frame of its own, all one below the other:
 * a start of Chromium draws them all, light, and another dark. */
TEST(ChromiumDarkThemeTest, TablesKeepTheirColoursInADarkTheme)
{
	TempDir dir;
	constexpr int32_t W = 600, H = 150; /* a mail's width: the message's layout is the table */
	std::vector<uint32_t> logo;
	for (int32_t y = 0; y < H; y++)
		for (int32_t x = 0; x < W; x++)
			logo.push_back(x % 25 == 0 || y % 25 == 0                      ? 0xFFFFFF
			               : (x - 100) * (x - 100) + (y - 75) * (y - 75) < 3600 ? 0xF5C08A
			               : x > 300                                       ? 0x203060
			                                                                : 0xE8F0FF);
	WriteFile(dir.file("logo.bmp"), MakeBmp24(W, H, logo));
	struct Picture {
		std::string file;
		int height;
		int32_t scale; /* the same reduction in every form, for fewer cells */
	};
	std::vector<Picture> pictures = {{dir.file("logo.bmp"), H, 1}};
	const std::string coffee = std::string(TILERY_PHOTO_DIR) + "/coffee.png"; /* 600 x 400 */
	if (FileExists(coffee))
		pictures.push_back({coffee, 400, 3});
	else
		std::printf("%s is missing: ./build.sh test fetches the photographs; the logo alone\n", coffee.c_str());
	const char *const forms[] = {"a fragment", "a page without CSS", "a message"};
	std::string frames = "<!DOCTYPE html><body style=\"margin:0\">";
	int framesHeight = 0;
	for (size_t p = 0; p < pictures.size(); p++) {
		PageOptions fragment = DEFAULT_PAGE_OPTIONS, page = DEFAULT_PAGE_OPTIONS, message = DEFAULT_PAGE_OPTIONS;
		fragment.fragment = fragment.noCss = page.noCss = message.message = message.noCss = true;
		fragment.reduction.scale = page.reduction.scale = message.reduction.scale = pictures[p].scale;
		const std::string name = std::to_string(p);
		{
			NoticeRecorder quiet;
			const char *picture = pictures[p].file.c_str();
			ASSERT_EQ(ConvertPicture(picture, dir.file(name + "fragment.html").c_str(), 1, fragment, nullptr), 0);
			ASSERT_EQ(ConvertPicture(picture, dir.file(name + "page.html").c_str(), 1, page, nullptr), 0);
			ASSERT_EQ(ConvertPicture(picture, dir.file(name + "message.eml").c_str(), 1, message, nullptr), 0);
		}
		WriteFile(dir.file(name + "in-a-page.html"),
		          "<html><body>" + ReadFile(dir.file(name + "fragment.html")) + "</body></html>");
		WriteMessageHtml(dir.file(name + "message.eml"), dir.file(name + "message.html"));
		for (const char *file : {"in-a-page.html", "page.html", "message.html"})
			frames += "<iframe style=\"border:0;display:block;width:" + std::to_string(W + 2 * BODY_MARGIN) +
			          "px;height:" + std::to_string(pictures[p].height + 2 * BODY_MARGIN) + "px\" src=\"" +
			          dir.file(name + file) + "\"></iframe>";
		framesHeight += 3 * (pictures[p].height + 2 * BODY_MARGIN);
	}
	WriteFile(dir.file("frames.html"), frames);
	QByteArray said;
	const QImage light = Screenshot(CHROMIUM, dir, dir.file("frames.html"), W + 16, framesHeight + 20, &said);
	ASSERT_FALSE(light.isNull()) << said.constData();
	const QImage dark = Screenshot(CHROMIUM_DARK, dir, dir.file("frames.html"), W + 16, framesHeight + 20, &said);
	ASSERT_FALSE(dark.isNull()) << said.constData();
	int top = 0;
	for (const Picture &picture : pictures) {
		const int height = picture.height;
		const QImage table = light.copy(BODY_MARGIN, top + BODY_MARGIN, W, height);
		if (picture.file == dir.file("logo.bmp")) {
			long wrong = 0;
			for (int32_t y = 0; y < H; y++)
				for (int32_t x = 0; x < W; x++)
					wrong += (table.pixel(x, y) & 0xFFFFFF) != logo[size_t(y) * W + size_t(x)];
			EXPECT_EQ(wrong, 0) << "the logo drawn wrong in light";
		}
		for (const QImage *shot : {&light, &dark})
			for (int i = 0; i < 3; i++) {
				SCOPED_TRACE(picture.file + (shot == &dark ? ", dark, " : ", light, ") + forms[i]);
				const QImage drawn = shot->copy(BODY_MARGIN, top + i * (height + 2 * BODY_MARGIN) + BODY_MARGIN, W, height);
				long wrong = 0;
				for (int y = 0; y < height; y++)
					for (int x = 0; x < W; x++)
						wrong += drawn.pixel(x, y) != table.pixel(x, y);
				EXPECT_EQ(wrong, 0) << "table pixels drawn otherwise";
			}
		top += 3 * (height + 2 * BODY_MARGIN);
	}
}

/* What screen readers get, read from Chromium's accessibility tree: with a
 * text, the table is one picture of that name, no cell of it to be read;
 * without, nothing at all, as decoration. */
TEST(ChromiumAccessibilityTest, TheTableIsOnePictureOrDecoration)
{
	TempDir dir;
	std::vector<uint32_t> rgb;
	for (int32_t y = 0; y < 30; y++)
		for (int32_t x = 0; x < 40; x++)
			rgb.push_back(Logo(x * 4, y * 4));
	WriteFile(dir.file("logo.bmp"), MakeBmp24(40, 30, rgb));
	std::string pages;
	for (const char *alt : {"A cat", ""}) {
		PageOptions options = DEFAULT_PAGE_OPTIONS;
		options.fragment = options.noCss = true;
		options.alt = alt;
		const std::string page = dir.file(*alt ? "named.html" : "decoration.html");
		{
			NoticeRecorder quiet;
			ASSERT_EQ(ConvertPicture(dir.file("logo.bmp").c_str(), page.c_str(), 1, options, nullptr), 0);
		}
		WriteFile(page, "<!DOCTYPE html><html><body>" + ReadFile(page) + "</body></html>");
		pages += " '" + page + "'";
	}
	const std::string command = "/usr/bin/python3 '" TILERY_SUPPORT_DIR "/accessibility_tree.py'" + pages + " >'" +
	                            dir.file("trees") + "'";
	ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(dir.file("trees"));
	const std::string trees = ReadFile(dir.file("trees"));
	const size_t lineEnd = trees.find('\n');
	ASSERT_NE(lineEnd, std::string::npos) << trees;
	const std::string named = trees.substr(0, lineEnd), decoration = trees.substr(lineEnd + 1);
	EXPECT_NE(named.find("\"names\": [[\"image\", \"A cat\"]]"), std::string::npos) << named;
	EXPECT_NE(named.find("\"image\": 1"), std::string::npos) << named;
	EXPECT_EQ(decoration.find("image"), std::string::npos) << decoration;
	for (const char *role : {"\"table\"", "\"row\"", "\"cell\""}) {
		EXPECT_EQ(named.find(role), std::string::npos) << named;
		EXPECT_EQ(decoration.find(role), std::string::npos) << decoration;
	}
}

/* A JPEG in each EXIF orientation, made by Pillow: its page as Chromium
 * draws it is Chromium's own drawing of the JPEG, upright. */
TEST(ChromiumJpegTest, EachOrientationDrawnAsTheBrowserDrawsTheJpeg)
{
	TempDir dir;
	const std::string make = "/usr/bin/python3 -c 'import sys; from PIL import Image\n"
	                         "im = Image.new(\"RGB\", (13, 9))\n"
	                         "for y in range(9):\n"
	                         "    for x in range(13): im.putpixel((x, y), (x * 37 % 256, y * 53 % 256, (x + y) * 29 % 256))\n"
	                         "for o in range(1, 9):\n"
	                         "    e = Image.Exif(); e[0x0112] = o\n"
	                         "    im.save(sys.argv[1] + \"/o%d.jpg\" % o, quality=90, exif=e.tobytes())' '" +
	                         dir.path() + "'";
	ASSERT_EQ(std::system(make.c_str()), 0) << "Pillow is missing (./build.sh test installs it)";
	/* Each page and each JPEG in a frame of its own, all eight side by
	 * side: two starts of Chromium draw them all. */
	std::string pages = "<!DOCTYPE html><body style=\"margin:0\">", jpegs = pages;
	for (int o = 1; o <= 8; o++) {
		SCOPED_TRACE(o);
		const std::string jpeg = dir.file("o" + std::to_string(o) + ".jpg"),
		                  page = dir.file("page" + std::to_string(o) + ".html"),
		                  img = dir.file("img" + std::to_string(o) + ".html");
		{
			NoticeRecorder quiet;
			ASSERT_EQ(ConvertBitmapToTable(jpeg.c_str(), page.c_str(), 1), 0);
		}
		WriteFile(img, "<!DOCTYPE html><body style=\"margin:" + std::to_string(BODY_MARGIN) +
		                   "px\"><img style=\"display:block\" src=\"" + jpeg + "\">");
		const std::string frame = "<iframe style=\"border:0;width:40px;height:40px;margin:0 4px 0 0\" src=\"";
		pages += frame + page + "\"></iframe>";
		jpegs += frame + img + "\"></iframe>";
	}
	WriteFile(dir.file("pages.html"), pages);
	WriteFile(dir.file("jpegs.html"), jpegs);
	QByteArray said;
	const QImage drawn = Screenshot(CHROMIUM, dir, dir.file("pages.html"), 400, 100, &said);
	ASSERT_FALSE(drawn.isNull()) << said.constData();
	const QImage shown = Screenshot(CHROMIUM, dir, dir.file("jpegs.html"), 400, 100, &said);
	ASSERT_FALSE(shown.isNull()) << said.constData();
	for (int o = 1; o <= 8; o++)
		EXPECT_TRUE(drawn.copy((o - 1) * 44, 0, 44, 40) == shown.copy((o - 1) * 44, 0, 44, 40))
			<< "orientation " << o << ": the page and the JPEG are drawn differently";
	/* Each frame shows its picture, not an empty or broken frame. */
	for (int o = 1; o <= 8; o++)
		EXPECT_NE(drawn.pixel((o - 1) * 44 + BODY_MARGIN, BODY_MARGIN), drawn.pixel(0, 39)) << "orientation " << o;
	drawn.save(QStringLiteral(TILERY_SHOT_DIR "/jpeg-orientations.png"));
}

INSTANTIATE_TEST_SUITE_P(Pages, ChromiumTest, ::testing::ValuesIn(Cases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Pages, ChromiumEditedTest,
                         ::testing::ValuesIn(Named({"RepeatedNarrowing", "Logo", "PaletteNoise", "OnePixelWide"})),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Pages, FirefoxEditedTest,
                         ::testing::ValuesIn(Named({"RepeatedNarrowing", "Logo", "OnePixelWide"})), CaseName);
/* Firefox takes a few pages: the narrowing, the logo and the long runs. */
INSTANTIATE_TEST_SUITE_P(Pages, FirefoxTest,
                         ::testing::ValuesIn(Named({"RepeatedNarrowing", "Logo", "WiderThanAThousand"})), CaseName);

} // namespace
