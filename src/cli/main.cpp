/* tilery-cli INPUT OUTPUT [CELL_SIZE]: the conversion for scripts and batch work. */
#include <csignal>
#include <initializer_list>
#include <cstdio>
#include <cstring>

#include "convert/convert.h"
#include "convert/page_file.h"

enum { EXIT_WRITTEN = 0, EXIT_FAILED = 1, EXIT_USAGE = 2, EXIT_OUT_OF_MEMORY = 3 };
enum { MIN_CELL_SIZE = 1, MAX_CELL_SIZE = 999 };

static const char USAGE[] = "usage: tilery-cli INPUT OUTPUT [CELL_SIZE]  (CELL_SIZE 1-999, default 1)\n";

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

/* Interrupted, the tool leaves the old page as it was and no half page. */
static void
StopAndRemoveUnfinishedPage(int signal)
{
	RemoveUnfinishedPage();
	std::signal(signal, SIG_DFL);
	std::raise(signal);
}

int
main(int argc, char **argv)
{
	for (int signal : {SIGINT, SIGTERM, SIGHUP})
		std::signal(signal, StopAndRemoveUnfinishedPage);
	/* A reader that leaves early is a write failure, told as such. */
	std::signal(SIGPIPE, SIG_IGN);

	if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
		std::fputs(USAGE, stdout);
		return std::fflush(stdout) == 0 && !std::ferror(stdout) ? EXIT_WRITTEN : EXIT_FAILED;
	}
	int cellSize = 1;
	if (argc < 3 || argc > 4 || (argc == 4 && !ParseCellSize(argv[3], &cellSize))) {
		std::fputs(USAGE, stderr);
		return EXIT_USAGE;
	}
	/* Notices reach standard error as "tilery: TEXT", the default presenter. */
	switch (ConvertBitmapToTable(argv[1], argv[2], cellSize)) {
	case 0:
		return EXIT_WRITTEN;
	case -1:
		return EXIT_OUT_OF_MEMORY;
	default:
		return EXIT_FAILED;
	}
}
