/* The command-line tool on Windows. */
#include "cli/console.h"

#include <fcntl.h>
#include <io.h>

#include <cwchar>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/win32.h"

static HANDLE
HandleOf(FILE *stream)
{
	return HANDLE(_get_osfhandle(_fileno(stream)));
}

bool
IsConsole(FILE *stream)
{
	DWORD mode;
	return GetConsoleMode(HandleOf(stream), &mode);
}

/* A console shows UTF-16 whatever its code page; elsewhere the text goes
 * as the program has it, UTF-8. */
void
WriteText(FILE *stream, const char *text)
{
	std::fflush(stream);
	if (IsConsole(stream)) {
		const std::wstring wide = Widen(text);
		DWORD written;
		WriteConsoleW(HandleOf(stream), wide.data(), DWORD(wide.size()), &written, nullptr);
		return;
	}
	std::fputs(text, stream);
	std::fflush(stream);
}

void
ClearLine(FILE *stream)
{
	CONSOLE_SCREEN_BUFFER_INFO screen;
	const int width = GetConsoleScreenBufferInfo(HandleOf(stream), &screen) ? screen.dwSize.X : 80;
	WriteText(stream, ("\r" + std::string(size_t(width > 1 ? width - 1 : 0), ' ') + "\r").c_str());
}

const char *
TemporaryFolder(void)
{
	static std::string folder;
	wchar_t path[MAX_PATH + 1];
	const DWORD length = GetTempPathW(MAX_PATH + 1, path);
	folder = length > 0 && length <= MAX_PATH ? Narrow(path) : ".";
	while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/'))
		folder.pop_back();
	return folder.c_str();
}

/* Whether an argument asks for the help as Windows's own programs are
 * asked: /?, /h, /help or -?, in any case. Any other argument that starts
 * with a slash is a path, from the current drive's root. */
static bool
AsksForHelp(const wchar_t *argument)
{
	for (const wchar_t *help : {L"/?", L"/h", L"/help", L"-?"})
		if (_wcsicmp(argument, help) == 0)
			return true;
	return false;
}

/* The arguments come as UTF-16 and go on as UTF-8. A picture comes in on
 * standard input as bytes. */
int
wmain(int argc, wchar_t **argv)
{
	std::vector<std::string> arguments;
	for (int i = 0; i < argc; i++)
		arguments.push_back(i > 0 && AsksForHelp(argv[i]) ? "--help" : Narrow(argv[i]));
	std::vector<char *> pointers;
	for (std::string &argument : arguments)
		pointers.push_back(&argument[0]);
	pointers.push_back(nullptr);
	_setmode(_fileno(stdin), _O_BINARY);
	return RunTool(argc, pointers.data());
}
