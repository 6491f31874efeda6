/* The dialog manager is Windows's own: the template is laid out in memory
 * as a DLGTEMPLATEEX and run by DialogBoxIndirectParamW, and the dialog
 * procedure receives Windows's messages. */
#include "platform/win32.h"

#include <shobjidl.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

/* The template in memory: words, double words and UTF-16 text, items on
 * double-word boundaries. */
class TemplateBytes {
public:
	void Word(uint16_t value) { Put(&value, sizeof value); }
	void DoubleWord(uint32_t value) { Put(&value, sizeof value); }
	void Text(const char *utf8) { Text(Widen(utf8)); }
	void Text(const std::wstring &text) { Put(text.c_str(), (text.size() + 1) * sizeof(wchar_t)); }
	void AlignToDoubleWord()
	{
		while (bytes_.size() % 4)
			bytes_.push_back(0);
	}
	const DLGTEMPLATE *Data() const { return reinterpret_cast<const DLGTEMPLATE *>(bytes_.data()); }

private:
	void Put(const void *data, size_t length)
	{
		const auto *p = static_cast<const unsigned char *>(data);
		bytes_.insert(bytes_.end(), p, p + length);
	}
	std::vector<unsigned char> bytes_;
};

/* What the dialog runs with, until WM_INITDIALOG keeps the procedure. */
struct Start {
	DialogProc proc;
	LPARAM param;
};

/* An edit field's limit, in bytes of UTF-8, kept as a property of the
 * field. */
struct ByteLimit {
	size_t bytes = 0x7FFFFFFE;
};

} // namespace

static const wchar_t BYTE_LIMIT[] = L"tilery.byteLimit";

static uint16_t
ClassAtom(const char *className)
{
	if (std::strcmp(className, "button") == 0)
		return 0x0080;
	if (std::strcmp(className, "edit") == 0)
		return 0x0081;
	return 0x0082; /* static */
}

static int CALLBACK
FaceFound(const LOGFONTW *, const TEXTMETRICW *, DWORD, LPARAM found)
{
	*reinterpret_cast<bool *>(found) = true;
	return 0;
}

/* Whether the system has a face of this name that draws Japanese. */
static bool
HasJapaneseFace(const std::wstring &face)
{
	if (face.empty() || face.size() >= LF_FACESIZE)
		return false;
	LOGFONTW wanted = {};
	wanted.lfCharSet = SHIFTJIS_CHARSET;
	face.copy(wanted.lfFaceName, face.size());
	bool found = false;
	const HDC screen = GetDC(nullptr);
	EnumFontFamiliesExW(screen, &wanted, FaceFound, LPARAM(&found), 0);
	ReleaseDC(nullptr, screen);
	return found;
}

/* The first face that draws Japanese, its vertical form (@name) aside. */
static int CALLBACK
TakeJapaneseFace(const LOGFONTW *font, const TEXTMETRICW *, DWORD, LPARAM face)
{
	if (font->lfFaceName[0] == L'@')
		return 1;
	*reinterpret_cast<std::wstring *>(face) = font->lfFaceName;
	return 0;
}

/* The template's face where the system has it: Windows installs "MS UI
 * Gothic" with its Japanese supplemental fonts alone, and without it every
 * label would draw as boxes. Else a face the system draws Japanese with:
 * its message face where that one does, its own Japanese faces, any;
 * failing all, the message face, which Windows links to a Japanese one. */
static std::wstring
DialogFace(const char *templateFace)
{
	NONCLIENTMETRICSW metrics = {};
	metrics.cbSize = sizeof metrics;
	const std::wstring message =
		SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) ? metrics.lfMessageFont.lfFaceName
		                                                                             : L"";
	for (const std::wstring &face : {Widen(templateFace), message, std::wstring(L"Yu Gothic UI"), std::wstring(L"Meiryo UI")})
		if (HasJapaneseFace(face))
			return face;
	LOGFONTW japanese = {};
	japanese.lfCharSet = SHIFTJIS_CHARSET;
	std::wstring any;
	const HDC screen = GetDC(nullptr);
	EnumFontFamiliesExW(screen, &japanese, TakeJapaneseFace, LPARAM(&any), 0);
	ReleaseDC(nullptr, screen);
	return !any.empty() ? any : !message.empty() ? message : Widen(templateFace);
}

static void
BuildTemplate(const DialogTemplate &t, TemplateBytes *out)
{
	out->Word(1);      /* version */
	out->Word(0xFFFF); /* an extended template */
	out->DoubleWord(0);
	out->DoubleWord(0);
	out->DoubleWord(t.style);
	out->Word(uint16_t(t.itemCount));
	for (int v : {t.x, t.y, t.cx, t.cy})
		out->Word(uint16_t(v));
	out->Word(0); /* no menu */
	out->Word(0); /* the dialog class */
	out->Text(t.caption);
	out->Word(uint16_t(t.fontPointSize));
	out->Word(FW_NORMAL);
	/* Japanese, so that where the template's font is missing a face that
	 * draws the texts stands in for it. */
	out->Word(uint16_t(SHIFTJIS_CHARSET << 8));
	out->Text(DialogFace(t.fontName));
	for (int i = 0; i < t.itemCount; i++) {
		const DialogItemTemplate &item = t.items[i];
		out->AlignToDoubleWord();
		out->DoubleWord(0);
		out->DoubleWord(0);
		out->DoubleWord(item.style);
		for (int v : {item.x, item.y, item.cx, item.cy})
			out->Word(uint16_t(v));
		out->DoubleWord(uint32_t(item.id));
		out->Word(0xFFFF);
		out->Word(ClassAtom(item.className));
		out->Text(item.text);
		out->Word(0); /* no creation data */
	}
}

/* An edit that would take a field past its limit is refused whole, as
 * typed, pasted or undone, never cut: the field's text and selection go
 * back to what they were. A refused paste is told to the dialog
 * (EN_MAXTEXT), a refused key with a beep. */
static LRESULT CALLBACK
KeepWithinLimit(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
	auto *limit = reinterpret_cast<ByteLimit *>(data);
	switch (message) {
	case WM_NCDESTROY:
		RemoveWindowSubclass(edit, KeepWithinLimit, 1);
		RemovePropW(edit, BYTE_LIMIT);
		delete limit;
		break;
	case WM_CHAR:
	case WM_IME_CHAR:
	case WM_PASTE:
	case WM_UNDO:
	case EM_UNDO:
	case EM_REPLACESEL: {
		std::vector<wchar_t> before(size_t(GetWindowTextLengthW(edit)) + 1);
		GetWindowTextW(edit, before.data(), int(before.size()));
		DWORD start, end;
		SendMessageW(edit, EM_GETSEL, WPARAM(&start), LPARAM(&end));
		const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
		std::vector<wchar_t> after(size_t(GetWindowTextLengthW(edit)) + 1);
		GetWindowTextW(edit, after.data(), int(after.size()));
		if (Narrow(after.data()).size() > limit->bytes) {
			SetWindowTextW(edit, before.data());
			SendMessageW(edit, EM_SETSEL, start, end);
			if (message == WM_PASTE || (message == WM_CHAR && wParam == 0x16 /* Ctrl+V */))
				PostMessageW(GetParent(edit), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(edit), EN_MAXTEXT), LPARAM(edit));
			else
				::MessageBeep(MB_OK);
		}
		return result;
	}
	}
	return DefSubclassProc(edit, message, wParam, lParam);
}

static BOOL CALLBACK
LimitEditField(HWND child, LPARAM)
{
	wchar_t className[16];
	if (GetClassNameW(child, className, 16) && lstrcmpiW(className, L"Edit") == 0) {
		auto *limit = new ByteLimit;
		SetPropW(child, BYTE_LIMIT, limit);
		SetWindowSubclass(child, KeepWithinLimit, 1, DWORD_PTR(limit));
	}
	return TRUE;
}

/* The room a control's text needs, without its mnemonic's &. */
static SIZE
TextSize(HWND control, HDC dc)
{
	std::vector<wchar_t> text(size_t(GetWindowTextLengthW(control)) + 1);
	GetWindowTextW(control, text.data(), int(text.size()));
	std::wstring visible;
	for (const wchar_t *c = text.data(); *c; c++)
		if (*c != L'&' || (c[1] == L'&' && *++c))
			visible += *c;
	SIZE size = {0, 0};
	GetTextExtentPoint32W(dc, visible.c_str(), int(visible.size()), &size);
	return size;
}

/* Where the template's font is missing, the face that stands in for it
 * may be wider: then the whole dialog grows, by one factor, until every
 * label and button shows its text on one line. */
static void
GrowToFit(HWND dialog)
{
	const HDC dc = GetDC(dialog);
	const HGDIOBJ previous = SelectObject(dc, HGDIOBJ(SendMessageW(dialog, WM_GETFONT, 0, 0)));
	double grow = 1.0;
	for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
		wchar_t className[16];
		if (!GetClassNameW(child, className, 16) || lstrcmpiW(className, L"Edit") == 0)
			continue;
		const bool button = lstrcmpiW(className, L"Button") == 0;
		const bool checkBox = button && (GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX;
		const SIZE need = TextSize(child, dc);
		RECT room;
		GetClientRect(child, &room);
		const int margin = checkBox ? GetSystemMetrics(SM_CXMENUCHECK) + 2 * GetSystemMetrics(SM_CXEDGE)
		                   : button ? 4 * GetSystemMetrics(SM_CXEDGE)
		                            : 0;
		if (room.right > 0 && room.bottom > 0) {
			grow = std::max(grow, double(need.cx + margin + 1) / room.right);
			grow = std::max(grow, double(need.cy) / room.bottom);
		}
	}
	SelectObject(dc, previous);
	ReleaseDC(dialog, dc);
	if (grow <= 1.0)
		return;
	for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
		RECT r;
		GetWindowRect(child, &r);
		MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
		MoveWindow(child, int(r.left * grow), int(r.top * grow), int((r.right - r.left) * grow),
		           int((r.bottom - r.top) * grow), FALSE);
	}
	RECT client, window;
	GetClientRect(dialog, &client);
	GetWindowRect(dialog, &window);
	const int frameX = (window.right - window.left) - client.right, frameY = (window.bottom - window.top) - client.bottom;
	SetWindowPos(dialog, nullptr, 0, 0, int(client.right * grow) + frameX, int(client.bottom * grow) + frameY,
	             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

/* Messages go on to the dialog procedure, which keeps to Windows's own
 * rule: TRUE when it handled one. */
static INT_PTR CALLBACK
RunProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
	if (message == WM_INITDIALOG) {
		const auto *start = reinterpret_cast<const Start *>(lParam);
		SetWindowLongPtrW(dialog, DWLP_USER, LONG_PTR(start->proc));
		lParam = start->param;
		EnumChildWindows(dialog, LimitEditField, 0);
		GrowToFit(dialog);
		/* The program's icon, in the title bar and the task bar. */
		const HINSTANCE module = GetModuleHandleW(nullptr);
		for (WPARAM which : {WPARAM(ICON_SMALL), WPARAM(ICON_BIG)}) {
			const int metric = which == ICON_SMALL ? SM_CXSMICON : SM_CXICON;
			const HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(metric),
			                               GetSystemMetrics(metric), LR_SHARED);
			if (icon)
				SendMessageW(dialog, WM_SETICON, which, LPARAM(icon));
		}
	}
	const auto proc = reinterpret_cast<DialogProc>(GetWindowLongPtrW(dialog, DWLP_USER));
	return proc ? proc(dialog, message, wParam, lParam) : FALSE;
}

intptr_t
DialogBoxParam(const DialogTemplate *t, WindowHandle owner, DialogProc proc, LPARAM param)
{
	TemplateBytes bytes;
	BuildTemplate(*t, &bytes);
	Start start = {proc, param};
	return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), bytes.Data(), HWND(owner), RunProcedure,
	                               LPARAM(&start));
}

WindowHandle
CreateDialogParam(const DialogTemplate *t, WindowHandle owner, DialogProc proc, LPARAM param)
{
	TemplateBytes bytes;
	BuildTemplate(*t, &bytes);
	Start start = {proc, param};
	const HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), bytes.Data(), HWND(owner),
	                                               RunProcedure, LPARAM(&start));
	if (dialog)
		ShowWindow(dialog, SW_SHOW);
	return dialog;
}

void
DestroyDialog(WindowHandle dialog)
{
	DestroyWindow(HWND(dialog));
}

void
EndDialog(WindowHandle dialog, intptr_t result)
{
	::EndDialog(HWND(dialog), result);
}

WindowHandle
GetDlgItem(WindowHandle dialog, int id)
{
	return ::GetDlgItem(HWND(dialog), id);
}

static std::string
TextOf(WindowHandle window)
{
	std::vector<wchar_t> wide(size_t(GetWindowTextLengthW(HWND(window))) + 1);
	GetWindowTextW(HWND(window), wide.data(), int(wide.size()));
	return Narrow(wide.data());
}

int
GetWindowTextLength(WindowHandle window)
{
	return int(std::min<size_t>(TextOf(window).size(), INT_MAX));
}

int
GetWindowText(WindowHandle window, char *text, int size)
{
	if (size <= 0)
		return 0;
	const std::string bytes = TextOf(window);
	const size_t length = std::min(bytes.size(), size_t(size) - 1);
	std::memcpy(text, bytes.data(), length);
	text[length] = '\0';
	return int(length);
}

bool
SetWindowText(WindowHandle window, const char *text)
{
	return SetWindowTextW(HWND(window), Widen(text).c_str());
}

intptr_t
SendMessage(WindowHandle window, unsigned message, WPARAM wParam, LPARAM lParam)
{
	if (message == EM_LIMITTEXT) {
		if (auto *limit = static_cast<ByteLimit *>(GetPropW(HWND(window), BYTE_LIMIT)))
			limit->bytes = wParam ? size_t(wParam) : 0x7FFFFFFE;
		return 0;
	}
	return SendMessageW(HWND(window), message, wParam, lParam);
}

/* The dialog manager's own move, which selects an edit field's text. */
void
SetDialogFocus(WindowHandle dialog, int id)
{
	if (const HWND control = ::GetDlgItem(HWND(dialog), id))
		SendMessageW(HWND(dialog), WM_NEXTDLGCTL, WPARAM(control), TRUE);
}

bool
IsButtonChecked(WindowHandle dialog, int id)
{
	return ::IsDlgButtonChecked(HWND(dialog), id) == BST_CHECKED;
}

void
CheckButton(WindowHandle dialog, int id, bool checked)
{
	::CheckDlgButton(HWND(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

/* On the window's task bar button, where the system has one to be had. */
void
ShowWindowProgress(WindowHandle window, int percent)
{
	static ITaskbarList3 *taskbar;
	static bool asked;
	if (!asked) {
		asked = true;
		if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&taskbar))) ||
		    FAILED(taskbar->HrInit()))
			taskbar = nullptr;
	}
	if (!taskbar)
		return;
	if (percent < 0)
		taskbar->SetProgressState(HWND(window), TBPF_NOPROGRESS);
	else
		taskbar->SetProgressValue(HWND(window), ULONGLONG(percent), 100);
}

void
MessageBeep(void)
{
	::MessageBeep(MB_OK);
}

/* Input waits until the command is done. */
void
UpdateWindows(void)
{
	MSG message;
	while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
		DispatchMessageW(&message);
}
