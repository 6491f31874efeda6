#ifndef TILERY_SHELL_MAIN_DIALOG_H
#define TILERY_SHELL_MAIN_DIALOG_H

#include "platform/dialog.h"

enum { PATH_BUFFER_SIZE = 1025 };

/* The paths as last read from the dialog's fields, for the process's life. */
extern char g_inputPath[PATH_BUFFER_SIZE];
extern char g_outputPath[PATH_BUFFER_SIZE];

intptr_t MainDialogProc(WindowHandle dialog, unsigned message, WPARAM wParam, LPARAM lParam);

/* Runs the main dialog until it is closed; the process's exit code, always 0. */
int RunMainDialog(void);

#endif
