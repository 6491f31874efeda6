#include "system/message_box.h"

#include <cstdio>

static int
PrintToStandardError(WindowHandle, const char *text, const char *caption, unsigned)
{
	std::fprintf(stderr, "%s: %s\n", caption, text);
	std::fflush(stderr);
	return IDOK;
}

static MessageBoxPresenter g_presenter = PrintToStandardError;

int
ShowMessageBox(WindowHandle owner, const char *text, const char *caption, unsigned style)
{
	return g_presenter(owner, text, caption, style);
}

MessageBoxPresenter
SetMessageBoxPresenter(MessageBoxPresenter presenter)
{
	MessageBoxPresenter previous = g_presenter;
	g_presenter = presenter ? presenter : PrintToStandardError;
	return previous;
}
