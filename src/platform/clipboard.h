#ifndef TILERY_PLATFORM_CLIPBOARD_H
#define TILERY_PLATFORM_CLIPBOARD_H

#include <cstddef>

#include "system/message_box.h"

/* Puts a piece of HTML (UTF-8) on the clipboard, as HTML, for a mail's
 * compose window to paste, and as text, its source, for a template's code
 * view. False when the clipboard could not be had. */
bool PutHtmlOnClipboard(WindowHandle owner, const char *html, size_t length);

#endif
