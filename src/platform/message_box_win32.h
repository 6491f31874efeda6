#ifndef TILERY_PLATFORM_MESSAGE_BOX_WIN32_H
#define TILERY_PLATFORM_MESSAGE_BOX_WIN32_H

#include "system/message_box.h"

/* Windows's message box, with the caption, the text, an OK button and the
 * style's icon. With an owner it disables the owner while it is open;
 * without one it leaves every window usable. Returns once dismissed. */
int ShowWin32MessageBox(WindowHandle owner, const char *text, const char *caption, unsigned style);

#endif
