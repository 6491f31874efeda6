#ifndef TILERY_PAGE_MESSAGE_H
#define TILERY_PAGE_MESSAGE_H

#include <cstdint>
#include <string>

/* The page as a mail message ready to send (RFC 5322 and 2045): headers,
 * and two alternatives, a line of text and the HTML, the table in a
 * 600-pixel layout. Every line ends in CR LF and takes at most 76
 * characters. The HTML is quoted-printable and ASCII, its lines as short as
 * the table's, so that no line needs a soft break: the table's rows are
 * written between the message's head and tail, spelt as sent. */

/* What the message says. Texts are UTF-8; from and to are ASCII (null or
 * empty: left out, for the mail program to give). */
struct MessageFields {
	const char *subject;
	const char *from;
	const char *to;
	const char *alt;         /* the picture's text; null or empty: none */
	const char *pictureName; /* its file's name; null or empty: none */
	int32_t pictureWidth, pictureHeight;
};

struct MessageText {
	std::string head, tail;
};

/* The message around a table of the width given, the TABLE's own start tag
 * included (page_text.h). Its date is now, or SOURCE_DATE_EPOCH's where
 * that is set, which also makes its Message-ID the same on every run. */
MessageText MessageAround(const MessageFields &fields, long long tableWidth, int cellSize);

/* Whether a header may hold the text as it is: printable ASCII, no word
 * longer than a line. */
bool IsHeaderText(const char *text);

/* Whether a file's name asks for a message: it ends in .eml, in any case. */
bool NamesAMessage(const char *path);

#endif
