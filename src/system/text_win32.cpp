#include "system/text_win32.h"

#include <windows.h>

std::wstring
Widen(const char *text)
{
	const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
	if (length <= 0)
		return std::wstring();
	std::wstring wide(size_t(length), L'\0');
	MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &wide[0], length);
	wide.resize(size_t(length) - 1);
	return wide;
}

std::string
Narrow(const wchar_t *text)
{
	const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
	if (length <= 0)
		return std::string();
	std::string narrow(size_t(length), '\0');
	WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, &narrow[0], length, nullptr, nullptr);
	narrow.resize(size_t(length) - 1);
	return narrow;
}

bool
WidenInto(const char *text, wchar_t *to, int room)
{
	return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, to, room) > 0;
}

bool
NarrowInto(const wchar_t *text, char *to, int room)
{
	return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, to, room, nullptr, nullptr) > 0;
}
