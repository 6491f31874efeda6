/* tilery for Windows: the dialog that turns a picture into an HTML table
 * page. */
#include "page/page_file.h"
#include "platform/message_box_win32.h"
#include "platform/win32.h"
#include "shell/main_dialog.h"

#include <objbase.h>

/* Log-off or shutdown in the middle of a conversion leaves the old page as
 * it was and no half page. Windows tells every top-level window that the
 * session ends; the dialog's procedure is the one both systems share, so a
 * hidden window of the program's own listens. */
static LRESULT CALLBACK
WatchSession(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
	if (message == WM_ENDSESSION && wParam) {
		RemoveUnfinishedPage();
		/* The conversion would go on writing, and Windows ends the
		 * program anyway once this returns. */
		TerminateProcess(GetCurrentProcess(), 1);
	}
	return DefWindowProcW(window, message, wParam, lParam);
}

static void
ListenForSessionEnd(HINSTANCE instance)
{
	WNDCLASSW kind = {};
	kind.lpfnWndProc = WatchSession;
	kind.hInstance = instance;
	kind.lpszClassName = L"tilery session";
	if (RegisterClassW(&kind))
		CreateWindowExW(0, kind.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

int WINAPI
wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
	/* The task bar's progress is a COM object of the shell's. */
	CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
	/* Today's look of buttons and fields, as the manifest asks. */
	INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
	InitCommonControlsEx(&controls);
	SetMessageBoxPresenter(ShowWin32MessageBox);
	ListenForSessionEnd(instance);
	return RunMainDialog();
}
