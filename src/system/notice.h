#ifndef TILERY_SYSTEM_NOTICE_H
#define TILERY_SYSTEM_NOTICE_H

#include "system/message_box.h"

#define APP_TITLE "tilery"

/* Formats like printf and shows the text in a message box; returns the
 * button pressed. Paths and other user text go in as arguments, never as
 * the format. */
int ShowNotice(WindowHandle owner, const char *caption, unsigned style,
               const char *format, ...) __attribute__((format(printf, 4, 5)));

#endif
