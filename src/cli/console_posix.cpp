/* The command-line tool on POSIX systems. */
#include "cli/console.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <initializer_list>

static void (*g_leave)(void);

static void
Stop(int signal)
{
	g_leave();
	std::signal(signal, SIG_DFL);
	std::raise(signal);
}

void
OnStop(void (*leave)(void))
{
	g_leave = leave;
	for (int signal : {SIGINT, SIGTERM, SIGHUP})
		std::signal(signal, Stop);
	/* A reader that leaves early is a write failure, told as such. */
	std::signal(SIGPIPE, SIG_IGN);
}

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
