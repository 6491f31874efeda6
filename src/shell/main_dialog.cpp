#include "shell/main_dialog.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "page/message.h"
#include "picture/picture_file.h"
#include "platform/clipboard.h"
#include "res/resource.h"
#include "shell/file_choosers.h"
#include "system/decimal.h"
#include "system/notice.h"
#include "system/path.h"

enum { PATH_LIMIT = 1023, CELL_SIZE_LIMIT = 2, CELL_SIZE_TEXT_SIZE = 32, LIMIT_DIGITS = 6, MOST_KILOBYTES = 999999 };

char g_inputPath[PATH_BUFFER_SIZE];
char g_outputPath[PATH_BUFFER_SIZE];

/* A conversion's own notices leave the dialog usable, so a Convert command
 * can arrive while one is still on screen; it must not start a second
 * conversion over the first one's covered cells. */
static bool g_converting;

/* Decimal, after leading white space and an optional sign, up to the first
 * other byte; no number, zero or less gives 1. */
static int
CellSizeFromText(const char *text)
{
	while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
		text++;
	const bool negative = *text == '-';
	if (*text == '+' || *text == '-')
		text++;
	long long value;
	ReadDecimal(text, INT_MAX - 1LL, &value);
	return negative || value < 1 ? 1 : int(value);
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

/* A conversion's own notice (a failure) ends it: the caption no longer
 * tells how far it has got while the notice is up. */
static MessageBoxPresenter g_presenter;

static int
ShowConversionNotice(WindowHandle owner, const char *text, const char *caption, unsigned style)
{
	ShowCaption(-1);
	const MessageBoxPresenter mine = SetMessageBoxPresenter(g_presenter);
	const int pressed = ShowMessageBox(owner, text, caption, style);
	SetMessageBoxPresenter(mine);
	return pressed;
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
	long long kilobytes;
	if (GetWindowTextLength(field) > LIMIT_DIGITS || !ParseDecimal(text, 1, MOST_KILOBYTES, &kilobytes)) {
		ShowNotice(dialog, APP_TITLE, MB_ICONEXCLAMATION, "上限は 1 以上の整数 (KB、1 KB は 1000 バイト) で入力する訳で。");
		SetDialogFocus(dialog, IDC_LIMIT); /* to be typed again */
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

/* Columns a text takes on screen: two for a character of three UTF-8
 * bytes or more (Japanese), one for any other. */
static int
Columns(const std::string &text)
{
	int columns = 0;
	for (const unsigned char c : text)
		columns += c < 0x80 ? 1 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
	return columns;
}

/* Phrases joined by 、 and ended by 。 in lines a notice shows as they are:
 * a line is broken after a 、 where the next phrase would take it past
 * 48 columns, never inside a phrase. */
static std::string
Sentence(const std::vector<std::string> &phrases)
{
	enum { LINE_COLUMNS = 48 };
	std::string text;
	int line = 0;
	for (size_t i = 0; i < phrases.size(); i++) {
		const std::string phrase = phrases[i] + (i + 1 < phrases.size() ? "、" : "。");
		if (line > 0 && line + Columns(phrase) > LINE_COLUMNS) {
			text += "\n";
			line = 0;
		}
		text += phrase;
		line += Columns(phrase);
	}
	return text;
}

/* What a conversion for a mail, or within a limit, made: a table to paste
 * into a compose window, a message ready to send, or a page. */
enum Made { TABLE_FOR_PASTING, MESSAGE, PAGE_WITHIN_LIMIT };

/* What the success notice adds then: the table's cells, the bytes (a
 * table's as pasted into a mail editor, a message's as sent), the loss
 * where the picture was reduced, Gmail's verdict on those bytes, the
 * clipboard, the table's width against a mail's, and what a message is
 * for. */
static std::string
Report(const PageTotals &totals, Made made, bool onClipboard)
{
	char part[96];
	const long long bytes = made == TABLE_FOR_PASTING ? totals.bytesPasted : totals.bytes;
	std::vector<std::string> phrases = {"表のセル " + std::to_string(totals.cells),
	                                    (made == TABLE_FOR_PASTING ? "貼り付け後 " : "") + std::to_string(bytes) +
	                                            " バイト"};
	if (totals.psnr < std::numeric_limits<double>::infinity()) {
		std::snprintf(part, sizeof part, "PSNR %.2f dB", totals.psnr);
		phrases.push_back(part);
	}
	std::snprintf(part, sizeof part, "Gmail が切る %lld バイト%s", (long long)MAIL_CLIP_BYTES,
	              bytes > MAIL_CLIP_BYTES ? "を超える" : "以内");
	phrases.push_back(part);
	if (onClipboard)
		phrases.push_back("表はクリップボードに");
	const long long tableWidth = (long long)totals.cellSize * totals.width;
	const std::string width = "幅 " + std::to_string(tableWidth) + " ピクセル";
	if (made != PAGE_WITHIN_LIMIT && tableWidth <= MAIL_WIDTH)
		phrases.push_back(width + "で " + std::to_string(MAIL_WIDTH) + " ピクセルのメールに収まる");
	else if (tableWidth > MAIL_WIDTH)
		phrases.push_back(width + "はメールの " + std::to_string(MAIL_WIDTH) + " より広い");
	if (made == MESSAGE)
		phrases.push_back("メールソフトで開くかそのまま送れるメッセージ");
	return Sentence(phrases);
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

	/* A page named .eml: a message ready to send, clear pixels kept clear,
	 * no wider than a mail, the limit counting the whole file. For a mail:
	 * the table alone, to paste into a mail's compose window, the limit
	 * counted as the mail editor keeps it, clear pixels kept clear, no
	 * wider than a mail. Within a limit: a page without CSS, the limit
	 * counted as the command-line tool counts it. None asked, the page is
	 * the usual one. */
	const bool message = NamesAMessage(g_outputPath);
	const bool mail = IsButtonChecked(dialog, IDC_MAIL) && !message;
	PageOptions options = DEFAULT_PAGE_OPTIONS;
	if (!ReadLimit(dialog, &options.maxBytes))
		return;
	const bool forMail = message || mail || options.maxBytes > 0;
	options.message = message;
	options.fragment = options.forEditor = mail;
	options.keepClear = mail || message;
	options.width = mail || message ? (long long)MAIL_WIDTH : 0;
	options.noCss = forMail;

	g_converting = true;
	g_shown = dialog, g_fitting = options.maxBytes > 0, g_percent = -1;
	const ConversionProgress previous = SetConversionProgress(KeepPainted);
	g_presenter = SetMessageBoxPresenter(ShowConversionNotice);
	PageTotals totals;
	const int result = forMail ? ConvertPicture(g_inputPath, g_outputPath, cellSize, options, &totals)
	                           : ConvertBitmapToTable(g_inputPath, g_outputPath, cellSize);
	SetMessageBoxPresenter(g_presenter);
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
	const Made made = message ? MESSAGE : mail ? TABLE_FOR_PASTING : PAGE_WITHIN_LIMIT;
	ShowNotice(dialog, APP_TITLE, MB_OK, "%s 作成完了\n%s", written, Report(totals, made, onClipboard).c_str());
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
