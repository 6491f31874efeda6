/* The command-line tool on POSIX systems. */
#include "cli/console.h"

#include <unistd.h>

#include <cstdlib>

bool
IsConsole(FILE *stream)
{
	return isatty(fileno(stream));
}

void
WriteText(FILE *stream, const char *text)
{
	std::fputs(text, stream);
	std::fflush(stream);
}

void
ClearLine(FILE *stream)
{
	WriteText(stream, "\r\033[K");
}

const char *
TemporaryFolder(void)
{
	const char *folder = std::getenv("TMPDIR");
	return folder && *folder ? folder : "/tmp";
}

int
main(int argc, char **argv)
{
	return RunTool(argc, argv);
}
