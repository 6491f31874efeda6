#include "shell/main_dialog.h"

#include <chrono>
#include <climits>
#include <cstdlib>

#include "convert/convert.h"
#include "convert/path.h"
#include "res/resource.h"
#include "shell/file_choosers.h"
#include "shell/notice.h"

enum { PATH_LIMIT = 1023, CELL_SIZE_LIMIT = 2, CELL_SIZE_TEXT_SIZE = 32 };

char g_inputPath[PATH_BUFFER_SIZE];
char g_outputPath[PATH_BUFFER_SIZE];

/* A conversion's own notices leave the dialog usable, so a Convert command
 * can arrive while one is still on screen; it must not start a second
 * conversion over the first one's covered cells. */
static bool g_converting;

/* Decimal, after leading white space and an optional sign; no number, zero
 * or less gives 1. */
static int
CellSizeFromText(const char *text)
{
	const long value = std::strtol(text, nullptr, 10);
	if (value <= 0)
		return 1;
	return value > INT_MAX ? INT_MAX : int(value);
}

/* The dialog takes no input while a picture is read and scanned, but it
 * repaints: often enough for the eye, and for the system not to take the
 * program for hung. */
static void
KeepPainted(ConversionStage, long long, long long)
{
	static std::chrono::steady_clock::time_point last;
	const auto now = std::chrono::steady_clock::now();
	if (now - last < std::chrono::milliseconds(40))
		return;
	last = now;
	UpdateWindows();
}

static void
Convert(WindowHandle dialog)
{
	if (g_converting) {
		MessageBeep();
		return;
	}
	char sizeText[CELL_SIZE_TEXT_SIZE];
	GetWindowText(GetDlgItem(dialog, IDC_CELL_SIZE), sizeText, sizeof sizeText);
	const int cellSize = CellSizeFromText(sizeText);

	/* A paste can take a field past the limit typing keeps to; its text is
	 * refused whole, never cut into another file's name. */
	const WindowHandle input = GetDlgItem(dialog, IDC_INPUT_PATH), output = GetDlgItem(dialog, IDC_OUTPUT_PATH);
	if (GetWindowTextLength(input) > PATH_LIMIT || GetWindowTextLength(output) > PATH_LIMIT) {
		ShowNotice(dialog, APP_TITLE, MB_ICONEXCLAMATION, "ファイル名が長すぎる訳で。");
		return;
	}
	GetWindowText(input, g_inputPath, sizeof g_inputPath);
	GetWindowText(output, g_outputPath, sizeof g_outputPath);
	UnquotePath(g_inputPath);
	UnquotePath(g_outputPath);
	if (!g_inputPath[0] || !g_outputPath[0]) {
		ShowNotice(dialog, APP_TITLE, MB_ICONEXCLAMATION, "ファイル名が入力されていない訳で。");
		return;
	}

	g_converting = true;
	const ConversionProgress previous = SetConversionProgress(KeepPainted);
	const int result = ConvertBitmapToTable(g_inputPath, g_outputPath, cellSize);
	SetConversionProgress(previous);
	g_converting = false;
	if (result == 0) {
		char written[4096];
		ReportedPath(g_outputPath, written, sizeof written);
		ShowNotice(dialog, APP_TITLE, MB_OK, "%s 作成完了", written);
	}
}

intptr_t
MainDialogProc(WindowHandle dialog, unsigned message, WPARAM wParam, LPARAM)
{
	switch (message) {
	case WM_INITDIALOG:
		SendMessage(GetDlgItem(dialog, IDC_INPUT_PATH), EM_LIMITTEXT, PATH_LIMIT, 0);
		SendMessage(GetDlgItem(dialog, IDC_OUTPUT_PATH), EM_LIMITTEXT, PATH_LIMIT, 0);
		SendMessage(GetDlgItem(dialog, IDC_CELL_SIZE), EM_LIMITTEXT, CELL_SIZE_LIMIT, 0);
		return 1; /* the focus goes to the first field */
	case WM_CLOSE:
		EndDialog(dialog, 0);
		return 1;
	case WM_COMMAND:
		/* A paste past a path field's limit: the name would be too long. */
		if (HighWord(wParam) == EN_MAXTEXT) {
			if (LowWord(wParam) == IDC_INPUT_PATH || LowWord(wParam) == IDC_OUTPUT_PATH)
				ShowNotice(dialog, APP_TITLE, MB_ICONEXCLAMATION, "ファイル名が長すぎる訳で。");
			else
				MessageBeep();
			return 1;
		}
		switch (LowWord(wParam)) {
		case IDC_INPUT_BROWSE:
			BrowseInputFile(dialog, GetDlgItem(dialog, IDC_INPUT_PATH));
			break;
		case IDC_OUTPUT_BROWSE:
			BrowseOutputFile(dialog, GetDlgItem(dialog, IDC_OUTPUT_PATH));
			break;
		case IDC_CONVERT:
			Convert(dialog);
			break;
		case IDC_EXIT:
			SendMessage(dialog, WM_CLOSE, 0, 0);
			break;
		}
		return 1;
	}
	return 0;
}

int
RunMainDialog(void)
{
	DialogBoxParam(&g_mainDialogTemplate, nullptr, MainDialogProc, 0);
	return 0;
}
