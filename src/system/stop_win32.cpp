#include "system/stop.h"

#include <windows.h>

#include "system/text_win32.h"

static void (*g_leave)(void);

/* Ctrl+C, Ctrl+Break, the console closed, the session's end: the handler
 * runs on a thread of its own. The process ends as Windows ends it after
 * Ctrl+C, without running the program's exit handlers on the way. */
static BOOL WINAPI
Stop(DWORD)
{
	g_leave();
	TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
	return TRUE;
}

void
OnStop(void (*leave)(void))
{
	g_leave = leave;
	SetConsoleCtrlHandler(Stop, TRUE);
}

void
HoldStops(bool)
{
}
