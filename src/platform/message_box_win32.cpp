#include "platform/message_box_win32.h"

#include "platform/win32.h"

/* A box wraps its text between words only, and widens to hold a longer
 * word: a long path would take it past the screen's edge. Such a word is
 * broken into lines, after its last separator in reach where it has one. */
static std::wstring
Wrapped(const std::wstring &text)
{
	constexpr size_t LONGEST_LINE = 60;
	std::wstring out;
	size_t line = 0;                        /* characters since the line began */
	size_t separator = std::wstring::npos; /* in out, the word's last \ or / */
	for (const wchar_t c : text) {
		if (c == L' ' || c == L'\n') {
			out += c;
			line = c == L'\n' ? 0 : line + 1;
			separator = std::wstring::npos;
			continue;
		}
		const bool lowSurrogate = c >= 0xDC00 && c <= 0xDFFF; /* never parted from its pair */
		if (line >= LONGEST_LINE && !lowSurrogate) {
			if (separator != std::wstring::npos) {
				out.insert(separator + 1, 1, L'\n');
				line = out.size() - separator - 2;
			} else {
				out += L'\n';
				line = 0;
			}
			separator = std::wstring::npos;
		}
		out += c;
		line += !lowSurrogate;
		if (c == L'\\' || c == L'/')
			separator = out.size() - 1;
	}
	return out;
}

/* Keys and clicks that waited while the program was busy (a conversion
 * takes no input) were meant for what was on screen then: a box must not
 * take them as its answer, and close before it is seen. */
static void
DiscardWaitingInput(void)
{
	MSG message;
	while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE))
		;
	while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE))
		;
}

int
ShowWin32MessageBox(WindowHandle owner, const char *text, const char *caption, unsigned style)
{
	DiscardWaitingInput();
	MessageBoxW(HWND(owner), Wrapped(Widen(text)).c_str(), Widen(caption).c_str(), style);
	return IDOK;
}
