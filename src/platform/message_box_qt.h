#ifndef TILERY_PLATFORM_MESSAGE_BOX_QT_H
#define TILERY_PLATFORM_MESSAGE_BOX_QT_H

#include "system/message_box.h"

/* A QMessageBox with the caption, the text, an OK button and the style's
 * icon. With an owner it is modal to the owner; without one it leaves every
 * window usable. Returns once the user has dismissed it. */
int ShowQtMessageBox(WindowHandle owner, const char *text, const char *caption, unsigned style);

#endif
