/* tilery-cli [OPTIONS] INPUT OUTPUT [CELL_SIZE]: the conversion for scripts
 * and batch work, and the page's forms for e-mail. "-" reads the picture
 * from standard input or writes the page to standard output; notices go to
 * standard error. */
#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>

#include "cli/console.h"
#include "convert/convert.h"
#include "page/message.h"
#include "page/page_file.h"
#include "page/page_text.h"
#include "page/temporary_file.h"
#include "picture/picture.h"
#include "system/decimal.h"
#include "system/notice.h"
#include "system/path.h"
#include "system/stop.h"

enum { EXIT_WRITTEN = 0, EXIT_FAILED = 1, EXIT_USAGE = 2, EXIT_OUT_OF_MEMORY = 3 };
enum : long long { MIN_CELL_SIZE = 1, MAX_CELL_SIZE = 999, MAX_WIDTH = 1000000 };

static const char USAGE[] = "usage: tilery-cli [OPTIONS] INPUT OUTPUT [CELL_SIZE]  (tilery-cli --help says more)\n";

/* A number of bytes: digits, then K (1000) or M (1000000) if need be. */
static bool
ParseBytes(const std::string &text, long long *bytes)
{
	constexpr long long MOST_DIGITS = 999999999999; /* twelve */
	long long value;
	const char *end = ReadDecimal(text.c_str(), MOST_DIGITS, &value);
	const long long unit = *end == 'K' ? 1000 : *end == 'M' ? 1000000 : 1;
	if (end == text.c_str() || end[unit > 1] != '\0' || value < 1 || value > MOST_DIGITS)
		return false;
	*bytes = value * unit;
	return true;
}

/* "#rrggbb", as HTML writes a colour; packed as the pictures' colours are. */
static bool
ParseColor(const std::string &text, uint32_t *color)
{
	if (text.size() != 7 || text[0] != '#')
		return false;
	uint32_t rgb = 0;
	for (size_t i = 1; i < 7; i++) {
		const char c = text[i];
		const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
		                : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
		if (digit < 0)
			return false;
		rgb = rgb << 4 | uint32_t(digit);
	}
	*color = PackColor(rgb >> 16, rgb >> 8 & 0xFF, rgb & 0xFF);
	return true;
}

namespace {

struct Arguments {
	std::string input, output;
	int cellSize = 1;
	PageOptions page = DEFAULT_PAGE_OPTIONS;
	std::string alt, subject, from, to; /* the page's texts point into these */
	bool pageOptionsGiven = false;
};

} // namespace

/* An option's whole number: decimal digits alone, from least to most. */
static CLI::Validator
WholeNumber(long long least, long long most)
{
	return CLI::Validator(
		[least, most](std::string &text) {
			long long value;
			return ParseDecimal(text.c_str(), least, most, &value)
			               ? std::string()
			               : "'" + text + "' is not a whole number from " + std::to_string(least) + " to " +
			                         std::to_string(most);
		},
		std::to_string(least) + "-" + std::to_string(most));
}

/* Text for the page or the message: UTF-8, or for a header ASCII. */
static CLI::Validator
Text(bool header)
{
	return CLI::Validator(
		[header](std::string &text) {
			if (header)
				return IsHeaderText(text.c_str())
				               ? std::string()
				               : "'" + text + "' is not an address in printable ASCII, no word past 66 characters";
			return IsUtf8(text.c_str()) ? std::string() : "'" + text + "' is not UTF-8";
		},
		"TEXT");
}

/* A whole number the command line gave, checked already; or `otherwise`. */
static long long
NumberGiven(const std::string &text, long long otherwise)
{
	long long value = otherwise;
	if (!text.empty())
		ParseDecimal(text.c_str(), 0, std::numeric_limits<long long>::max() - 1, &value);
	return value;
}

/* The command line, through CLI11: -1 when the conversion is to go on,
 * else the exit status (after --help, --version or a wrong argument,
 * named in the message). */
static int
ReadArguments(int argc, char **argv, Arguments *arguments)
{
	/* The help fits a console of 80 columns: names in 24, texts in 55. */
	CLI::App app("Turns a picture (BMP, PNG, GIF, JPEG, WebP, PBM, PGM or PPM) into an HTML\n"
	             "page whose one table redraws it, each pixel a CELL_SIZE square, runs of one\n"
	             "colour merged into cells.",
	             "tilery-cli");
	app.get_formatter()->column_width(24);
	/* A path may start with a slash on any system: /? and its kind are
	 * turned into --help before this sees them. */
	app.allow_windows_style_options(false);
	app.set_help_flag("-h,--help", "Print this help and exit");
	app.set_version_flag("--version", "tilery-cli " TILERY_VERSION, "Print the version and exit");
	std::string cellSize, background, maxBytes, width, colours, tolerance, scale;
	bool fragment = false, forEditor = false, noCss = false, transparent = false, message = false;
	app.add_option("INPUT", arguments->input, "The picture; - reads it from standard input")->required();
	app.add_option("OUTPUT", arguments->output, "The page; - writes it to standard output")->required();
	app.add_option("CELL_SIZE", cellSize, "Screen pixels a side of each picture pixel, 1 to 999\n(default 1)")
		->check(WholeNumber(MIN_CELL_SIZE, MAX_CELL_SIZE));
	app.add_flag("--fragment", fragment,
	             "The table alone, to paste into a mail: no document\n"
	             "around it, ASCII, lines ending in CR LF. Implies\n"
	             "--no-css");
	app.add_flag("--for-editor", forEditor,
	             "The fragment is to be pasted into a mail's compose\n"
	             "window: --max-bytes counts it as the mail editor keeps\n"
	             "it (quoted, indented, a line break in every cell).\n"
	             "Implies --fragment");
	app.add_flag("--no-css", noCss,
	             "Drawn exactly without CSS, as mail clients that drop\n"
	             "it show the page: sizes by HTML attributes alone");
	app.add_flag("--transparent", transparent,
	             "Fully transparent pixels (PNG, GIF, WebP) become cells\n"
	             "without a colour: what lies below the table shows");
	app.add_option("--width", width,
	               "The table at most W screen pixels wide: at a smaller\n"
	               "cell size, or the picture made W pixels wide by area\n"
	               "averaging, its height following")
		->option_text("W")
		->check(WholeNumber(1, MAX_WIDTH));
	app.add_option("--max-bytes", maxBytes,
	               "At most N bytes (K: 1000, M: 1000000), the picture\n"
	               "reduced where it must be, with the least loss. With\n"
	               "--fragment, the bytes as sent in a mail (quoted-\n"
	               "printable: each = three bytes); with --for-editor, as\n"
	               "pasted. Implies --no-css")
		->option_text("N[K|M]")
		->check(CLI::Validator(
			[](std::string &text) {
				long long bytes;
				return ParseBytes(text, &bytes) ? std::string()
				                                : "'" + text + "' is not a number of bytes: digits, then K (1000) or "
				                                               "M (1000000) if need be, as 100K";
			},
			"N[K|M]"));
	app.add_option("--colours", colours, "At most N colours (2 to 65536), by median cut, without\ndithering")
		->option_text("N")
		->check(WholeNumber(2, 65536));
	app.add_option("--tolerance", tolerance,
	               "Neighbouring pixels merged into a cell where red,\n"
	               "green and blue each differ by at most D (0 to 255)\n"
	               "from the cell's first; the cell painted their mean")
		->option_text("D")
		->check(WholeNumber(0, MAX_TOLERANCE));
	app.add_option("--scale", scale,
	               "A grid S times coarser (1 to 64), cells S times\n"
	               "larger: the picture's drawn size stays")
		->option_text("S")
		->check(WholeNumber(1, MAX_SCALE));
	app.add_option("--background", background,
	               "The colour transparency is laid over (default\n"
	               "#ffffff); with --transparent, partly transparent\n"
	               "pixels only")
		->option_text("#rrggbb")
		->check(CLI::Validator(
			[](std::string &text) {
				uint32_t color;
				return ParseColor(text, &color) ? std::string() : "'" + text + "' is not a colour #rrggbb";
			},
			"#rrggbb"));
	app.add_option("--alt", arguments->alt,
	               "What the picture shows, for screen readers, which then\n"
	               "read the table as one picture so named (without it, as\n"
	               "decoration); with --message, its text for readers of\n"
	               "plain text too")
		->option_text("TEXT")
		->check(Text(false));
	app.add_flag("--message", message,
	             "A mail message ready to send (also for an OUTPUT\n"
	             "ending in .eml): the table in HTML, and a text part;\n"
	             "--max-bytes counts the whole file");
	app.add_option("--subject", arguments->subject, "The message's subject (default: the picture's name)")
		->option_text("TEXT")
		->check(Text(false));
	app.add_option("--from", arguments->from, "The message's sender, as From: says it")
		->option_text("ADDRESS")
		->check(Text(true));
	app.add_option("--to", arguments->to, "The message's recipients, as To: says them")
		->option_text("ADDRESS")
		->check(Text(true));
	try {
		app.parse(argc, argv);
	} catch (const CLI::CallForHelp &) {
		std::fputs(app.help().c_str(), stdout);
		return std::fflush(stdout) == 0 && !std::ferror(stdout) ? EXIT_WRITTEN : EXIT_FAILED;
	} catch (const CLI::CallForVersion &version) {
		std::printf("%s\n", version.what());
		return std::fflush(stdout) == 0 && !std::ferror(stdout) ? EXIT_WRITTEN : EXIT_FAILED;
	} catch (const CLI::ParseError &wrong) {
		WriteText(stderr, (std::string("tilery: ") + wrong.what() + "\n" + USAGE).c_str());
		return EXIT_USAGE;
	}
	PageOptions &page = arguments->page;
	page.message = message || NamesAMessage(arguments->output.c_str());
	const char *wrong = nullptr;
	if (!page.message && (!arguments->subject.empty() || !arguments->from.empty() || !arguments->to.empty()))
		wrong = "--subject, --from and --to are for a message: --message, or an OUTPUT ending in .eml";
	else if (page.message && forEditor)
		wrong = "a message is sent, not pasted: --for-editor is for a fragment";
	if (wrong) {
		WriteText(stderr, (std::string("tilery: ") + wrong + "\n" + USAGE).c_str());
		return EXIT_USAGE;
	}
	if (!arguments->alt.empty())
		page.alt = arguments->alt.c_str();
	if (!arguments->subject.empty())
		page.subject = arguments->subject.c_str();
	page.from = arguments->from.c_str();
	page.to = arguments->to.c_str();
	arguments->cellSize = int(NumberGiven(cellSize, 1));
	if (!background.empty())
		ParseColor(background, &page.background);
	page.fragment = fragment || forEditor;
	page.forEditor = forEditor;
	page.noCss = noCss || page.fragment || page.message;
	page.keepClear = transparent;
	if (!maxBytes.empty())
		ParseBytes(maxBytes, &page.maxBytes);
	page.reduction = Reduction{int32_t(NumberGiven(scale, 1)), int(NumberGiven(colours, 0)),
	                           int(NumberGiven(tolerance, 0))};
	page.width = NumberGiven(width, 0);
	arguments->pageOptionsGiven =
		page.noCss || transparent || !background.empty() || page.width > 0 || IsReducing(page) || page.alt;
	return -1;
}

/* Standard input is kept in a file of its own while it is converted: one
 * that vanishes however the tool ends, where the system makes one, else a
 * named one whose name is published for the stop handler once final. The
 * file stays open until the conversion is done. */
static char g_stdinCopyName[4096];
static std::atomic<const char *> g_stdinCopy{nullptr};
static FILE *g_stdinCopyFile;

static void ClearProgress(void);

/* Stopped from outside, the tool leaves the old page as it was and no half
 * page. */
static void
RemoveLeftovers(void)
{
	ClearProgress();
	RemoveUnfinishedPage();
	RemovePublishedFile(&g_stdinCopy);
}

/* Copies standard input to a new file; false when it cannot, or when it
 * holds more than a picture file may, as a file named by its path would. */
static bool
CopyStandardInput(void)
{
	std::snprintf(g_stdinCopyName, sizeof g_stdinCopyName, "%s/tilery-stdin-XXXXXX", TemporaryFolder());
	int fd = MakeVanishingFile(g_stdinCopyName, sizeof g_stdinCopyName);
	if (fd < 0)
		fd = MakeTemporaryFile(g_stdinCopyName, &g_stdinCopy);
	FILE *copy = fd >= 0 ? fdopen(fd, "wb") : nullptr;
	if (!copy)
		return false;
	g_stdinCopyFile = copy;
	static char buffer[1 << 16];
	const long long limit = GetPictureLimits().maxFileSize;
	long long total = 0;
	bool ok = true;
	for (size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
		total += (long long)n;
		ok = total <= limit && std::fwrite(buffer, 1, n, copy) == n;
	}
	return std::fflush(copy) == 0 && ok && !std::ferror(stdin);
}

static void
DropStandardInputCopy(void)
{
	if (g_stdinCopyFile)
		std::fclose(g_stdinCopyFile);
	g_stdinCopyFile = nullptr;
	RemovePublishedFile(&g_stdinCopy);
}

/* Progress on a console: one line that updates itself, cleared at the end
 * (and when the tool is stopped). */
static std::atomic<bool> g_progressShown{false};
static std::chrono::steady_clock::time_point g_lastShown;
static ConversionStage g_stageShown;
static size_t g_progressLength;

static void
ShowProgress(ConversionStage stage, long long done, long long total)
{
	/* Each stage as it begins, then a few times a second; a short
	 * conversion's line is gone at once. */
	const auto now = std::chrono::steady_clock::now();
	const bool last = stage == STAGE_WRITING && done >= total;
	if (g_progressShown && stage == g_stageShown && now - g_lastShown < std::chrono::milliseconds(100) && !last)
		return;
	g_stageShown = stage;
	const long long percent = total > 0 ? std::min(done, total) * 100 / total : 0;
	char text[96];
	if (stage == STAGE_WRITING)
		std::snprintf(text, sizeof text, "tilery: row %lld of %lld (%lld%%)", done, total, percent);
	else
		std::snprintf(text, sizeof text, "tilery: %s (%lld%%)",
		              stage == STAGE_READING ? "reading the picture" : "fitting the page to its budget", percent);
	/* A shorter line covers what is left of a longer one. */
	std::string line = std::string("\r") + text;
	const size_t length = std::strlen(text);
	if (length < g_progressLength)
		line.append(g_progressLength - length, ' ');
	g_progressLength = std::max(g_progressLength, length);
	WriteText(stderr, line.c_str());
	g_progressShown = true;
	g_lastShown = now;
}

static void
ClearProgress(void)
{
	if (g_progressShown.exchange(false))
		ClearLine(stderr);
}

/* The paths the tool made up for "-" are shown as "-". */
static const char *g_inputShown, *g_outputShown;

static int
PrintNotice(WindowHandle, const char *text, const char *caption, unsigned)
{
	ClearProgress();
	std::string shown = text;
	for (const char *made : {g_inputShown, g_outputShown}) {
		if (!made)
			continue;
		const std::string bracketed = std::string("[") + made + "]";
		const size_t at = shown.find(bracketed);
		if (at != std::string::npos)
			shown.replace(at, bracketed.size(), "[-]");
	}
	WriteText(stderr, (std::string(caption) + ": " + shown + "\n").c_str());
	return IDOK;
}

/* The reduction made, in words: only what was done. */
static std::string
WhatWasDone(const PageTotals &totals, const PageOptions &page)
{
	const ReductionDone &r = totals.reduction;
	std::string done;
	auto add = [&](const std::string &part) { done += (done.empty() ? "" : ", ") + part; };
	if (r.scale > 1)
		add("a grid " + std::to_string(r.scale) + " times coarser");
	if (r.rectangles > 0)
		add("cut into " + std::to_string(r.rectangles) + (r.rectangles > 1 ? " rectangles" : " rectangle"));
	if (r.colours > 0)
		add(std::to_string(r.colours) + " colours at most");
	if (r.tolerance > 0)
		add("near colours merged (tolerance " + std::to_string(r.tolerance) + ")");
	if (done.empty())
		done = "no reduction";
	/* The loss is the reduction's: a picture made narrower lost more. */
	std::string exact = "the exact page";
	if (totals.width != totals.readWidth)
		exact += " of the picture made " + std::to_string(totals.width) + "x" + std::to_string(totals.height);
	char loss[160];
	if (totals.psnr < std::numeric_limits<double>::infinity())
		std::snprintf(loss, sizeof loss, "PSNR %.2f dB against %s", totals.psnr, exact.c_str());
	else
		std::snprintf(loss, sizeof loss, "%s: %s",
		              totals.width != totals.readWidth ? "no loss but the width's" : "no loss", exact.c_str());
	std::string sent;
	if (page.fragment && !page.message)
		sent = " (" + std::to_string(totals.bytesSent) + " as sent" +
		       (page.forEditor ? ", " + std::to_string(totals.bytesPasted) + " as pasted" : std::string()) + ")";
	return done + ": " + std::to_string(totals.bytes) + " bytes" + sent + ", " + loss;
}

/* What was done to the page, wherever the notices go: the width fitted,
 * the picture reduced, transparency asked for and not found, a fragment
 * wider than a mail; what a page for a mail costs, on a console, and
 * wherever the notices go when Gmail would clip it. */
static void
Report(const Arguments &arguments, const PageTotals &totals)
{
	const PageOptions &page = arguments.page;
	std::string told;
	if (totals.width != totals.readWidth)
		told += "tilery: the picture made " + std::to_string(totals.width) + "x" + std::to_string(totals.height) +
		        " pixels from " + std::to_string(totals.readWidth) + "x" + std::to_string(totals.readHeight) +
		        ", at cell size 1, for a table at most " + std::to_string(page.width) + " pixels wide\n";
	else if (totals.cellSize != arguments.cellSize)
		told += "tilery: drawn at cell size " + std::to_string(totals.cellSize) + ", for a table at most " +
		        std::to_string(page.width) + " pixels wide\n";
	if (IsReducing(page))
		told += "tilery: " + WhatWasDone(totals, page) + "\n";
	if (page.keepClear && !totals.clearKept)
		told += "tilery: --transparent changed nothing: the picture has no fully transparent pixel\n";
	const long long tableWidth = (long long)totals.cellSize * totals.width;
	if ((page.fragment || page.message) && tableWidth > MAIL_WIDTH)
		told += "tilery: the table is " + std::to_string(tableWidth) + " pixels wide, wider than a mail's usual " +
		        std::to_string(MAIL_WIDTH) + ": --width " + std::to_string(MAIL_WIDTH) + " fits it\n";
	/* Gmail's clipping is a mail's concern: a web page is never told of it.
	 * A table for pasting is judged as the editor keeps it. */
	const bool forMail = page.fragment || page.noCss || page.maxBytes > 0;
	const bool clipped = forMail && (page.forEditor ? totals.bytesPasted : totals.bytesSent) > MAIL_CLIP_BYTES;
	if (arguments.pageOptionsGiven && (clipped || IsConsole(stderr))) {
		const std::string cells = std::to_string(totals.cells) + " table cells", bytes = std::to_string(totals.bytes);
		if (page.message)
			told += "tilery: a message of " + bytes + " bytes as sent, " + cells;
		else if (page.forEditor)
			told += "tilery: " + cells + ", " + bytes + " bytes (" + std::to_string(totals.bytesSent) +
			        " as sent in a mail, " + std::to_string(totals.bytesPasted) + " as pasted into a mail editor)";
		else if (page.fragment)
			told += "tilery: " + cells + ", " + bytes + " bytes (" + std::to_string(totals.bytesSent) +
			        " as sent in a mail)";
		else
			told += "tilery: " + cells + ", " + bytes + " bytes";
		if (forMail)
			told += std::string(clipped ? ", past" : ", within") + " the " + std::to_string(MAIL_CLIP_BYTES) +
			        " bytes past which Gmail clips a message";
		told += "\n";
	}
	WriteText(stderr, told.c_str());
}

int
RunTool(int argc, char **argv)
{
	OnStop(RemoveLeftovers);

	Arguments arguments;
	const int done = ReadArguments(argc, argv, &arguments);
	if (done >= 0)
		return done;
	SetMessageBoxPresenter(PrintNotice);

	for (std::string *path : {&arguments.input, &arguments.output}) {
		UnquotePath(&(*path)[0]);
		path->resize(std::strlen(path->c_str()));
	}
	const char *input = arguments.input.c_str(), *output = arguments.output.c_str();
	if (std::strcmp(output, "-") == 0)
		output = g_outputShown = STANDARD_OUTPUT_PAGE;
	if (std::strcmp(input, "-") == 0) {
		const bool copied = CopyStandardInput();
		input = g_inputShown = g_stdinCopyName;
		arguments.page.pictureName = ""; /* a copy's name says nothing */
		if (!copied) {
			ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", input);
			DropStandardInputCopy();
			return EXIT_FAILED;
		}
	}

	if (IsConsole(stderr))
		SetConversionProgress(ShowProgress);
	PageTotals totals;
	const int result = ConvertPicture(input, output, arguments.cellSize, arguments.page, &totals);
	ClearProgress();
	DropStandardInputCopy();
	if (result == 0)
		Report(arguments, totals);
	switch (result) {
	case 0:
		return EXIT_WRITTEN;
	case -1:
		return EXIT_OUT_OF_MEMORY;
	default:
		return EXIT_FAILED;
	}
}
