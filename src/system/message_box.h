#ifndef TILERY_SYSTEM_MESSAGE_BOX_H
#define TILERY_SYSTEM_MESSAGE_BOX_H

/* The one place where text reaches the user: a modal message box with an
 * owner window, a caption and a style. The program installs a presenter
 * (a real message box in the dialog, standard error in the command-line
 * tool, a recorder in tests); without one, the text goes to standard error. */

typedef void *WindowHandle;

enum : unsigned {
	MB_OK = 0,
	MB_ICONERROR = 16,
	MB_ICONEXCLAMATION = 48,
};

enum { IDOK = 1 };

typedef int (*MessageBoxPresenter)(WindowHandle owner, const char *text,
                                   const char *caption, unsigned style);

/* Returns the button the user pressed; returns only once the box is dismissed. */
int ShowMessageBox(WindowHandle owner, const char *text, const char *caption,
                   unsigned style);

/* Installs presenter (null restores the default) and returns the previous one. */
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

#endif
