#include "platform/message_box_win32.h"

#include "platform/win32.h"

int
ShowWin32MessageBox(WindowHandle owner, const char *text, const char *caption, unsigned style)
{
	MessageBoxW(HWND(owner), Widen(text).c_str(), Widen(caption).c_str(), style);
	return IDOK;
}
