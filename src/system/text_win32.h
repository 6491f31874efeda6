#ifndef TILERY_SYSTEM_TEXT_WIN32_H
#define TILERY_SYSTEM_TEXT_WIN32_H

/* Text on Windows: the program's is UTF-8, Windows's calls take UTF-16. */
#include <string>

/* UTF-8, the program's text, to and from UTF-16, Windows's; "" for text
 * that is not well formed. */
std::wstring Widen(const char *text);
std::string Narrow(const wchar_t *text);

/* The same into room characters or bytes, the NUL included, taking no
 * memory; false when the text is not well formed or does not fit. */
bool WidenInto(const char *text, wchar_t *to, int room);
bool NarrowInto(const wchar_t *text, char *to, int room);

/* A file name for Windows's calls, made without taking memory, so that a
 * conversion short of memory still fails cleanly; "" (no file) when the
 * name is not UTF-8 or passes 4095 characters. */
struct WidePath {
	wchar_t text[4096];
	explicit WidePath(const char *path)
	{
		if (!WidenInto(path, text, 4096))
			text[0] = L'\0';
	}
};

#endif
