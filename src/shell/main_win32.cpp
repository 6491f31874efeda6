/* tilery for Windows: the dialog that turns a picture into an HTML table
 * page. */
#include "platform/message_box_win32.h"
#include "platform/win32.h"
#include "shell/main_dialog.h"

int WINAPI
wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
	/* Today's look of buttons and fields, as the manifest asks. */
	INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
	InitCommonControlsEx(&controls);
	SetMessageBoxPresenter(ShowWin32MessageBox);
	return RunMainDialog();
}
