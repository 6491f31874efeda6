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

/* Safe in a stop handler. */
void
ClearLine(FILE *stream)
{
	static const char CLEAR[] = "\r\033[K";
	if (write(fileno(stream), CLEAR, sizeof CLEAR - 1) < 0)
		return; /* nothing more to do for a terminal gone */
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
