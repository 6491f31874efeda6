/* tilery-cli INPUT OUTPUT [CELL_SIZE]: the conversion for scripts and batch
 * work. "-" reads the picture from standard input or writes the page to
 * standard output; notices go to standard error. */
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "convert/convert.h"
#include "convert/page_file.h"
#include "convert/picture.h"
#include "shell/notice.h"

enum { EXIT_WRITTEN = 0, EXIT_FAILED = 1, EXIT_USAGE = 2, EXIT_OUT_OF_MEMORY = 3 };
enum { MIN_CELL_SIZE = 1, MAX_CELL_SIZE = 999 };

static const char USAGE[] =
	"usage: tilery-cli INPUT OUTPUT [CELL_SIZE]  (CELL_SIZE 1-999, default 1; - is standard input or output)\n";

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
 * name is published for the signal handler once final. */
static char g_stdinCopyName[4096];
static std::atomic<const char *> g_stdinCopy{nullptr};

/* Interrupted, the tool leaves the old page as it was and no half page. */
static void
StopAndRemoveUnfinishedPage(int signal)
{
	RemoveUnfinishedPage();
	if (const char *copy = g_stdinCopy)
		unlink(copy);
	std::signal(signal, SIG_DFL);
	std::raise(signal);
}

static void
RemoveStandardInputCopy(void)
{
	if (const char *copy = g_stdinCopy) {
		unlink(copy);
		g_stdinCopy = nullptr;
	}
}

/* Copies standard input to a new file; false when it cannot, or when it
 * holds more than a picture file may, as a file named by its path would. */
static bool
CopyStandardInput(void)
{
	const char *base = std::getenv("TMPDIR");
	std::snprintf(g_stdinCopyName, sizeof g_stdinCopyName, "%s/tilery-stdin-XXXXXX", base && *base ? base : "/tmp");
	const int fd = MakeTemporaryFile(g_stdinCopyName, &g_stdinCopy);
	if (fd < 0)
		return false;
	static char buffer[1 << 16];
	const long long limit = GetPictureLimits().maxFileSize;
	long long total = 0;
	bool ok = true;
	for (;;) {
		const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
		if (n == 0)
			break;
		if (n < 0) {
			ok = errno == EINTR;
			if (ok)
				continue;
			break;
		}
		total += n;
		if (total > limit) {
			ok = false;
			break;
		}
		for (ssize_t done = 0; ok && done < n;) {
			const ssize_t w = write(fd, buffer + done, size_t(n - done));
			ok = w > 0 || (w < 0 && errno == EINTR);
			done += w > 0 ? w : 0;
		}
		if (!ok)
			break;
	}
	return close(fd) == 0 && ok;
}

/* Progress on a terminal: one line that updates itself, cleared at the end. */
static bool g_progressShown;
static struct timespec g_lastShown;

static double
SecondsSince(const struct timespec &then)
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return double(now.tv_sec - then.tv_sec) + double(now.tv_nsec - then.tv_nsec) / 1e9;
}

static void
ShowProgress(long long rowsDone, long long rows)
{
	/* A few times a second; a short conversion's line is gone at once. */
	if (g_progressShown && SecondsSince(g_lastShown) < 0.1 && rowsDone < rows)
		return;
	std::fprintf(stderr, "\rtilery: row %lld of %lld (%lld%%)", rowsDone, rows, rowsDone * 100 / rows);
	std::fflush(stderr);
	g_progressShown = true;
	clock_gettime(CLOCK_MONOTONIC, &g_lastShown);
}

static void
ClearProgress(void)
{
	if (g_progressShown)
		std::fputs("\r\033[K", stderr);
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
	std::fprintf(stderr, "%s: %s\n", caption, shown.c_str());
	std::fflush(stderr);
	return IDOK;
}

int
main(int argc, char **argv)
{
	for (int signal : {SIGINT, SIGTERM, SIGHUP})
		std::signal(signal, StopAndRemoveUnfinishedPage);
	/* A reader that leaves early is a write failure, told as such. */
	std::signal(SIGPIPE, SIG_IGN);

	if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0)) {
		std::fputs(argv[1][2] == 'h' ? USAGE : "tilery-cli " TILERY_VERSION "\n", stdout);
		return std::fflush(stdout) == 0 && !std::ferror(stdout) ? EXIT_WRITTEN : EXIT_FAILED;
	}
	int cellSize = 1;
	if (argc < 3 || argc > 4 || (argc == 4 && !ParseCellSize(argv[3], &cellSize))) {
		std::fputs(USAGE, stderr);
		return EXIT_USAGE;
	}
	SetMessageBoxPresenter(PrintNotice);

	const char *input = argv[1], *output = argv[2];
	if (std::strcmp(output, "-") == 0)
		output = g_outputShown = "/dev/stdout";
	if (std::strcmp(input, "-") == 0) {
		const bool copied = CopyStandardInput();
		input = g_inputShown = g_stdinCopyName;
		if (!copied) {
			ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", input);
			RemoveStandardInputCopy();
			return EXIT_FAILED;
		}
	}

	if (isatty(STDERR_FILENO))
		SetConversionProgress(ShowProgress);
	const int result = ConvertBitmapToTable(input, output, cellSize);
	ClearProgress();
	RemoveStandardInputCopy();
	switch (result) {
	case 0:
		return EXIT_WRITTEN;
	case -1:
		return EXIT_OUT_OF_MEMORY;
	default:
		return EXIT_FAILED;
	}
}
