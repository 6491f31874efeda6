#include "platform/clipboard.h"

#include "platform/win32.h"

#include <cstdio>
#include <cstring>
#include <string>

/* Hands `length` bytes of data to the clipboard as `format`, which then
 * owns their memory; false when it could not. */
static bool
PutOnClipboard(UINT format, const void *data, size_t length)
{
	const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, length);
	void *to = memory ? GlobalLock(memory) : nullptr;
	if (to) {
		std::memcpy(to, data, length);
		GlobalUnlock(memory);
		if (SetClipboardData(format, memory))
			return true;
	}
	if (memory)
		GlobalFree(memory);
	return false;
}

/* CF_HTML: a header of byte offsets into what follows it, the piece
 * between the start and end comments in a document of its own. */
static std::string
HtmlFormat(const char *html, size_t length)
{
	static const char HEADER[] = "Version:0.9\r\nStartHTML:%010zu\r\nEndHTML:%010zu\r\n"
	                             "StartFragment:%010zu\r\nEndFragment:%010zu\r\n";
	static const char BEFORE[] = "<html><body>\r\n<!--StartFragment-->", AFTER[] = "<!--EndFragment-->\r\n</body></html>";
	char header[160];
	const size_t headerLength = size_t(std::snprintf(header, sizeof header, HEADER, size_t(0), size_t(0), size_t(0), size_t(0)));
	const size_t start = headerLength + sizeof BEFORE - 1, end = start + length;
	std::snprintf(header, sizeof header, HEADER, headerLength, end + sizeof AFTER - 1, start, end);
	return std::string(header) + BEFORE + std::string(html, length) + AFTER;
}

bool
PutHtmlOnClipboard(WindowHandle owner, const char *html, size_t length)
{
	const UINT htmlFormat = RegisterClipboardFormatW(L"HTML Format");
	const std::string formatted = HtmlFormat(html, length);
	const std::wstring text = Widen(std::string(html, length).c_str());
	if (!htmlFormat || !OpenClipboard(HWND(owner)))
		return false;
	const bool put = EmptyClipboard() && PutOnClipboard(htmlFormat, formatted.c_str(), formatted.size() + 1) &&
	                 PutOnClipboard(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
	CloseClipboard();
	return put;
}
