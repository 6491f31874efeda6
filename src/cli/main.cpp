/* tilery-cli INPUT OUTPUT [CELL_SIZE]: the conversion for scripts and batch
 * work. "-" reads the picture from standard input or writes the page to
 * standard output; notices go to standard error. */
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "cli/console.h"
#include "convert/convert.h"
#include "convert/page_file.h"
#include "convert/path.h"
#include "convert/picture.h"
#include "convert/temporary_file.h"
#include "platform/stop.h"
#include "shell/notice.h"

enum { EXIT_WRITTEN = 0, EXIT_FAILED = 1, EXIT_USAGE = 2, EXIT_OUT_OF_MEMORY = 3 };
enum { MIN_CELL_SIZE = 1, MAX_CELL_SIZE = 999 };

static const char USAGE[] =
	"usage: tilery-cli INPUT OUTPUT [CELL_SIZE]  (CELL_SIZE 1-999, default 1; - is standard input or output)\n";
static const char PICTURES[] = "pictures: BMP, PNG, GIF, JPEG, WebP, PBM, PGM, PPM\n";

/* Digits only, no sign or spaces, within the limits. */
static bool
ParseCellSize(const char *text, int *size)
{
	int value = 0;
	if (!*text)
		return false;
	for (const char *p = text; *p; p++) {
		if (*p < '0' || *p > '9')
			return false;
		value = value * 10 + (*p - '0');
		if (value > MAX_CELL_SIZE)
			return false;
	}
	if (value < MIN_CELL_SIZE)
		return false;
	*size = value;
	return true;
}

/* Standard input is kept in a file of its own while it is converted; its
 * name is published for the stop handler once final. */
static char g_stdinCopyName[4096];
static std::atomic<const char *> g_stdinCopy{nullptr};

/* Stopped from outside, the tool leaves the old page as it was and no half
 * page. */
static void
RemoveLeftovers(void)
{
	RemoveUnfinishedPage();
	RemovePublishedFile(&g_stdinCopy);
}

/* Copies standard input to a new file; false when it cannot, or when it
 * holds more than a picture file may, as a file named by its path would. */
static bool
CopyStandardInput(void)
{
	std::snprintf(g_stdinCopyName, sizeof g_stdinCopyName, "%s/tilery-stdin-XXXXXX", TemporaryFolder());
	const int fd = MakeTemporaryFile(g_stdinCopyName, &g_stdinCopy);
	FILE *copy = fd >= 0 ? fdopen(fd, "wb") : nullptr;
	if (!copy)
		return false;
	static char buffer[1 << 16];
	const long long limit = GetPictureLimits().maxFileSize;
	long long total = 0;
	bool ok = true;
	for (size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
		total += (long long)n;
		ok = total <= limit && std::fwrite(buffer, 1, n, copy) == n;
	}
	ok = ok && !std::ferror(stdin);
	return std::fclose(copy) == 0 && ok;
}

/* Progress on a console: one line that updates itself, cleared at the end. */
static bool g_progressShown;
static std::chrono::steady_clock::time_point g_lastShown;

static void
ShowProgress(long long rowsDone, long long rows)
{
	if (rows == 0)
		return; /* the picture is being read */
	/* A few times a second; a short conversion's line is gone at once. */
	const auto now = std::chrono::steady_clock::now();
	if (g_progressShown && now - g_lastShown < std::chrono::milliseconds(100) && rowsDone < rows)
		return;
	char line[96];
	std::snprintf(line, sizeof line, "\rtilery: row %lld of %lld (%lld%%)", rowsDone, rows, rowsDone * 100 / rows);
	WriteText(stderr, line);
	g_progressShown = true;
	g_lastShown = now;
}

static void
ClearProgress(void)
{
	if (g_progressShown)
		ClearLine(stderr);
	g_progressShown = false;
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

int
RunTool(int argc, char **argv)
{
	OnStop(RemoveLeftovers);

	if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0)) {
		if (argv[1][2] == 'h')
			std::fputs(USAGE, stdout), std::fputs(PICTURES, stdout);
		else
			std::fputs("tilery-cli " TILERY_VERSION "\n", stdout);
		return std::fflush(stdout) == 0 && !std::ferror(stdout) ? EXIT_WRITTEN : EXIT_FAILED;
	}
	int cellSize = 1;
	if (argc < 3 || argc > 4 || (argc == 4 && !ParseCellSize(argv[3], &cellSize))) {
		std::fputs(USAGE, stderr);
		return EXIT_USAGE;
	}
	SetMessageBoxPresenter(PrintNotice);

	UnquotePath(argv[1]);
	UnquotePath(argv[2]);
	const char *input = argv[1], *output = argv[2];
	if (std::strcmp(output, "-") == 0)
		output = g_outputShown = STANDARD_OUTPUT_PAGE;
	if (std::strcmp(input, "-") == 0) {
		const bool copied = CopyStandardInput();
		input = g_inputShown = g_stdinCopyName;
		if (!copied) {
			ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", input);
			RemovePublishedFile(&g_stdinCopy);
			return EXIT_FAILED;
		}
	}

	if (IsConsole(stderr))
		SetConversionProgress(ShowProgress);
	const int result = ConvertBitmapToTable(input, output, cellSize);
	ClearProgress();
	RemovePublishedFile(&g_stdinCopy);
	switch (result) {
	case 0:
		return EXIT_WRITTEN;
	case -1:
		return EXIT_OUT_OF_MEMORY;
	default:
		return EXIT_FAILED;
	}
}
