#ifndef TILERY_PLATFORM_DIALOG_H
#define TILERY_PLATFORM_DIALOG_H

#include <cstdint>

#include "system/message_box.h"

/* A dialog manager: dialogs built from templates in dialog units, each run
 * by one dialog procedure that receives its messages. Window handles are
 * opaque; the toolkit behind them stays out of the callers' sight. */

typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t (*DialogProc)(WindowHandle dialog, unsigned message, WPARAM wParam, LPARAM lParam);

enum : unsigned {
	WM_CLOSE = 0x0010,
	WM_INITDIALOG = 0x0110,
	WM_COMMAND = 0x0111,
	EM_LIMITTEXT = 0x00C5,
};

/* Notification codes, in the high 16 bits of a WM_COMMAND's wParam.
 * EN_MAXTEXT: a paste into an edit field was refused whole, as it would
 * have taken the field past its limit. */
enum : unsigned { BN_CLICKED = 0, EN_CHANGE = 0x0300, EN_MAXTEXT = 0x0501 };

enum { IDCANCEL = 2 };

enum : uint32_t {
	WS_CHILD = 0x40000000,
	WS_VISIBLE = 0x10000000,
	WS_CAPTION = 0x00C00000,
	WS_BORDER = 0x00800000,
	WS_SYSMENU = 0x00080000,
	WS_GROUP = 0x00020000,
	WS_TABSTOP = 0x00010000,
	DS_SETFONT = 0x00000040,
	SS_LEFT = 0x00000000,
	ES_AUTOHSCROLL = 0x00000080,
	BS_PUSHBUTTON = 0x00000000,
	BS_DEFPUSHBUTTON = 0x00000001,
	BS_AUTOCHECKBOX = 0x00000003,
	BS_TYPEMASK = 0x0000000F,
};

enum { LANG_JAPANESE = 1041 };

struct DialogItemTemplate {
	int id;
	const char *className; /* "static", "edit" or "button" */
	const char *text;      /* UTF-8; & marks the mnemonic */
	int x, y, cx, cy;      /* dialog units */
	uint32_t style;
};

struct DialogTemplate {
	int id;
	uint32_t style;
	int x, y, cx, cy;
	const char *caption;
	const char *fontName;
	int fontPointSize;
	int language;
	const DialogItemTemplate *items; /* in tab order */
	int itemCount;
};

inline unsigned LowWord(WPARAM value) { return unsigned(value & 0xFFFF); }
inline unsigned HighWord(WPARAM value) { return unsigned((value >> 16) & 0xFFFF); }

/* Runs the dialog modally until the procedure calls EndDialog; returns the
 * value given there, or -1 when the dialog could not be made. */
intptr_t DialogBoxParam(const DialogTemplate *dialog, WindowHandle owner, DialogProc proc, LPARAM param);

/* Makes the dialog and shows it without waiting; null when it could not be
 * made. DestroyDialog removes it. */
WindowHandle CreateDialogParam(const DialogTemplate *dialog, WindowHandle owner, DialogProc proc, LPARAM param);
void DestroyDialog(WindowHandle dialog);

void EndDialog(WindowHandle dialog, intptr_t result);
WindowHandle GetDlgItem(WindowHandle dialog, int id);

/* Texts are the bytes file names use (UTF-8 here). GetWindowText copies at
 * most size - 1 bytes and a NUL, and returns the number of bytes copied;
 * GetWindowTextLength tells how many bytes the whole text takes. */
int GetWindowText(WindowHandle window, char *text, int size);
int GetWindowTextLength(WindowHandle window);
bool SetWindowText(WindowHandle window, const char *text);

/* WM_CLOSE and the like to a dialog go to its procedure; EM_LIMITTEXT to an
 * edit field sets how many bytes it takes (0: as many as it can hold). */
intptr_t SendMessage(WindowHandle window, unsigned message, WPARAM wParam, LPARAM lParam);

/* Moves the keyboard focus to a control of the dialog, as Tab does: an
 * edit field's text is selected whole. */
void SetDialogFocus(WindowHandle dialog, int id);

/* Whether a check box is checked; checks or clears one. */
bool IsButtonChecked(WindowHandle dialog, int id);
void CheckButton(WindowHandle dialog, int id, bool checked);

/* How far a long command has got, in per cent, where the system shows it
 * beside the window (Windows's task bar button); -1 shows none. */
void ShowWindowProgress(WindowHandle window, int percent);

/* The system's warning sound, for input that is refused. */
void MessageBeep(void);

/* Repaints windows that need it, taking no input, so that a long command
 * leaves no holes on screen. */
void UpdateWindows(void);

#endif
