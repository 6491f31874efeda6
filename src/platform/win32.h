#ifndef TILERY_PLATFORM_WIN32_H
#define TILERY_PLATFORM_WIN32_H

/* The Windows API beside the program's own dialog manager. The program's
 * names (SendMessage, WM_CLOSE, MB_OK ...) stand for Windows's own, with
 * Windows's values, so Windows's macros of those names go; its calls are
 * made here by their wide names (SendMessageW ...). */
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#undef WM_CLOSE
#undef WM_INITDIALOG
#undef WM_COMMAND
#undef EM_LIMITTEXT
#undef BN_CLICKED
#undef EN_CHANGE
#undef EN_MAXTEXT
#undef IDCANCEL
#undef IDOK
#undef WS_CHILD
#undef WS_VISIBLE
#undef WS_CAPTION
#undef WS_BORDER
#undef WS_SYSMENU
#undef WS_GROUP
#undef WS_TABSTOP
#undef DS_SETFONT
#undef SS_LEFT
#undef ES_AUTOHSCROLL
#undef BS_PUSHBUTTON
#undef BS_DEFPUSHBUTTON
#undef BS_AUTOCHECKBOX
#undef BS_TYPEMASK
#undef LANG_JAPANESE
#undef MB_OK
#undef MB_ICONERROR
#undef MB_ICONEXCLAMATION
#undef OFN_OVERWRITEPROMPT
#undef OFN_FILEMUSTEXIST
#undef DialogBoxParam
#undef CreateDialogParam
#undef GetWindowText
#undef GetWindowTextLength
#undef SetWindowText
#undef SendMessage
#undef GetOpenFileName
#undef GetSaveFileName

#include "platform/dialog.h"
#include "platform/file_chooser.h"
#include "system/text_win32.h"

#endif
