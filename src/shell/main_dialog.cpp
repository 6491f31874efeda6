#include "shell/main_dialog.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "convert/convert.h"
#include "convert/path.h"
#include "convert/picture_file.h"
#include "platform/clipboard.h"
#include "res/resource.h"
#include "shell/file_choosers.h"
#include "shell/notice.h"

enum { PATH_LIMIT = 1023, CELL_SIZE_LIMIT = 2, CELL_SIZE_TEXT_SIZE = 32, LIMIT_DIGITS = 6 };

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
 * program for hung. Its caption, and Windows's task bar button, say how
 * far the conversion has got. */
static WindowHandle g_shown;
static bool g_fitting;
static int g_percent;

static void
ShowCaption(int percent)
{
	char caption[32] = APP_TITLE;
	if (percent >= 0)
		std::snprintf(caption, sizeof caption, "%s %d%%", APP_TITLE, percent);
	SetWindowText(g_shown, caption);
	ShowWindowProgress(g_shown, percent);
}

static void
KeepPainted(ConversionStage stage, long long done, long long total)
{
	static std::chrono::steady_clock::time_point last;
	const int percent = ProgressPercent(stage, done, total, g_fitting);
	if (percent > g_percent)
		ShowCaption(g_percent = percent);
	const auto now = std::chrono::steady_clock::now();
	if (now - last < std::chrono::milliseconds(40))
		return;
	last = now;
	UpdateWindows();
}

/* The limit field: empty for none, else a whole number of KB, into bytes.
 * False, told, when it is neither. */
static bool
ReadLimit(WindowHandle dialog, long long *bytes)
{
	char text[CELL_SIZE_TEXT_SIZE];
	const WindowHandle field = GetDlgItem(dialog, IDC_LIMIT);
	GetWindowText(field, text, sizeof text);
	*bytes = 0;
	if (!text[0])
		return true;
	long long kilobytes = 0;
	bool number = GetWindowTextLength(field) <= LIMIT_DIGITS;
	for (const char *p = text; *p && number; p++) {
		number = *p >= '0' && *p <= '9';
		kilobytes = kilobytes * 10 + (*p - '0');
	}
	if (!number || kilobytes == 0) {
		ShowNotice(dialog, APP_TITLE, MB_ICONEXCLAMATION, "上限は 1 以上の整数 (KB) で入力する訳で。");
		return false;
	}
	*bytes = kilobytes * 1000;
	return true;
}

/* The page just written, on the clipboard as HTML and as text. */
static bool
PutPageOnClipboard(WindowHandle dialog, const char *path)
{
	uint64_t size;
	const int file = OpenPictureFile(path, &size);
	if (file < 0)
		return false;
	std::string page;
	bool read = false;
	try {
		page.resize(size_t(size));
		read = ReadPictureFile(file, 0, page.size(), reinterpret_cast<unsigned char *>(&page[0]));
	} catch (const std::bad_alloc &) {
	}
	ClosePictureFile(file);
	return read && PutHtmlOnClipboard(dialog, page.data(), page.size());
}

/* The success notice's second line, after a conversion for a mail or
 * within a limit: the cells, the bytes (as sent, for a mail), the loss
 * where the picture was reduced, Gmail's verdict, the clipboard, and a
 * table wider than a mail. */
static std::string
ReportLine(const PageTotals &totals, bool mail, bool onClipboard)
{
	char part[96];
	std::string line = std::to_string(totals.cells) + " セル、" + (mail ? "送信 " : "") +
	                   std::to_string(totals.bytesSent) + " バイト";
	if (totals.psnr < std::numeric_limits<double>::infinity()) {
		std::snprintf(part, sizeof part, "、PSNR %.2f dB", totals.psnr);
		line += part;
	}
	std::snprintf(part, sizeof part, "、Gmail が切る %lld バイト%s", (long long)MAIL_CLIP_BYTES,
	              totals.bytesSent > MAIL_CLIP_BYTES ? "を超える" : "以内");
	line += part;
	if (onClipboard)
		line += "、表はクリップボードに";
	const long long width = (long long)totals.cellSize * totals.width;
	if (width > MAIL_WIDTH)
		line += "、幅 " + std::to_string(width) + " ピクセルはメールの " + std::to_string(MAIL_WIDTH) + " より広い";
	return line + "。";
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

	/* For a mail: the table alone, clear pixels kept clear; within a limit:
	 * a page without CSS, the limit counted as the command-line tool
	 * counts it. Neither asked, the page is the usual one. */
	const bool mail = IsButtonChecked(dialog, IDC_MAIL);
	PageOptions options = DEFAULT_PAGE_OPTIONS;
	if (!ReadLimit(dialog, &options.maxBytes))
		return;
	const bool forMail = mail || options.maxBytes > 0;
	options.fragment = options.keepClear = mail;
	options.noCss = forMail;

	g_converting = true;
	g_shown = dialog, g_fitting = options.maxBytes > 0, g_percent = -1;
	const ConversionProgress previous = SetConversionProgress(KeepPainted);
	PageTotals totals;
	const int result = forMail ? ConvertPicture(g_inputPath, g_outputPath, cellSize, options, &totals)
	                           : ConvertBitmapToTable(g_inputPath, g_outputPath, cellSize);
	SetConversionProgress(previous);
	ShowCaption(-1);
	g_converting = false;
	if (result != 0)
		return;
	char written[4096];
	ReportedPath(g_outputPath, written, sizeof written);
	if (!forMail) {
		ShowNotice(dialog, APP_TITLE, MB_OK, "%s 作成完了", written);
		return;
	}
	const bool onClipboard = mail && PutPageOnClipboard(dialog, g_outputPath);
	ShowNotice(dialog, APP_TITLE, MB_OK, "%s 作成完了\n%s", written, ReportLine(totals, mail, onClipboard).c_str());
}

intptr_t
MainDialogProc(WindowHandle dialog, unsigned message, WPARAM wParam, LPARAM)
{
	switch (message) {
	case WM_INITDIALOG:
		SendMessage(GetDlgItem(dialog, IDC_INPUT_PATH), EM_LIMITTEXT, PATH_LIMIT, 0);
		SendMessage(GetDlgItem(dialog, IDC_OUTPUT_PATH), EM_LIMITTEXT, PATH_LIMIT, 0);
		SendMessage(GetDlgItem(dialog, IDC_CELL_SIZE), EM_LIMITTEXT, CELL_SIZE_LIMIT, 0);
		SendMessage(GetDlgItem(dialog, IDC_LIMIT), EM_LIMITTEXT, LIMIT_DIGITS, 0);
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
