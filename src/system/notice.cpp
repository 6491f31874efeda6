#include "system/notice.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { NOTICE_BUFFER_SIZE = 1024 };

int
ShowNotice(WindowHandle owner, const char *caption, unsigned style, const char *format, ...)
{
	char buffer[NOTICE_BUFFER_SIZE];
	std::memset(buffer, 0, sizeof buffer);

	va_list args;
	va_start(args, format);
	int length = std::vsnprintf(buffer, sizeof buffer, format, args);
	va_end(args);

	/* A path near its 1023-byte limit plus the message's words does not
	 * fit: format again into a buffer of the right size rather than show
	 * a cut path. Should that memory be missing, the cut text still beats
	 * no message at all. */
	if (length >= NOTICE_BUFFER_SIZE) {
		char *large = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
		if (large) {
			va_start(args, format);
			std::vsnprintf(large, static_cast<size_t>(length) + 1, format, args);
			va_end(args);
			int pressed = ShowMessageBox(owner, large, caption, style);
			std::free(large);
			return pressed;
		}
	}
	return ShowMessageBox(owner, buffer, caption, style);
}
