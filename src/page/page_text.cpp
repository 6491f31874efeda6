/* The page's HTML, put together piece by piece in the page's buffers. */
#include "page/page_text.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "picture/picture.h"

/* The style makes every engine draw each pixel as a cellSize square: a
 * fixed layout takes the column widths from the first row (a spanning
 * cell's width shared equally), every row is one cell high, and the
 * cells' own height attributes, which some engines give wholly to a
 * span's first row, are set aside. */
#define TITLE "<TITLE>\x82\xC8\x82\xBA\x90\x65\x95\x83\x8F\x4C\x82\xAA\x82\xB7\x82\xE9\x82\xCC\x82\xBE</TITLE>"
static const char DOCUMENT_HEAD[] = "<HTML>\r\n<HEAD>" TITLE
	"<STYLE>TABLE{table-layout:fixed;width:%lldpx}TR{height:%dpx}TD{height:auto}</STYLE></HEAD>\r\n"
	"<BODY>\r\n"
	"<TABLE border=0 cellspacing=0 cellpadding=0>\r\n";
static const char DOCUMENT_TAIL[] = "</TABLE>\r\n</BODY>\r\n</HTML>\r\n";

/* Without CSS the table says its own width, and the title has a line of
 * its own: quoted-printable sends 18 of its bytes as three each. The
 * fragment is the table alone; a mail editor fills each empty cell with a
 * line break, and its style keeps every row its height all the same: no
 * line's height comes of the text that is not there (line-height), nor of
 * a minimum font size (font-size). Mail clients that drop the style still
 * draw the table exactly by its attributes.
 *
 * Without CSS, the page is for readers whose mail or browser may darken
 * it: color-scheme, in the page's head and in the table's style, says the
 * picture is drawn in light colours only and must stay so. For screen
 * readers the table is one picture named by its alternative text, or,
 * without one, decoration: never a data table of thousands of cells. */
static const char DOCUMENT_HEAD_WITHOUT_CSS[] =
	"<HTML>\r\n<HEAD>\r\n" TITLE "\r\n<META name=color-scheme content=\"only light\"></HEAD>\r\n<BODY>\r\n";
static const char TABLE_WITH_WIDTH[] = "<TABLE border=0 cellspacing=0 cellpadding=0 width=";
static const char ONLY_LIGHT[] = "color-scheme:only light";
static const char FRAGMENT_STYLE[] = "font-size:0;line-height:0;";
static const char FRAGMENT_TAIL[] = "</TABLE>\r\n";

Grid
GridOf(int32_t width, int32_t height, int32_t scale, int cellSize)
{
	const int32_t columns = (width + scale - 1) / scale, rows = (height + scale - 1) / scale;
	return Grid{int64_t(cellSize) * scale, columns, rows, int64_t(cellSize) * (width - int64_t(columns - 1) * scale),
	            int64_t(cellSize) * (height - int64_t(rows - 1) * scale)};
}

std::string
EscapedText(const char *text)
{
	std::string escaped;
	for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p;) {
		uint32_t c = *p++;
		int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
		if (more)
			c &= 0x3F >> more;
		for (; more > 0 && (*p & 0xC0) == 0x80; more--)
			c = c << 6 | (*p++ & 0x3F);
		char reference[16];
		if (c == '&' || c == '<' || c == '"')
			escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : "&quot;";
		else if (c < 0x20 || c == 0x7F)
			escaped += ' '; /* a line break or a tab reads as a space */
		else if (c < 0x80)
			escaped += char(c);
		else if (std::snprintf(reference, sizeof reference, "&#x%X;", unsigned(c)) > 0)
			escaped += reference;
	}
	return escaped;
}

bool
IsUtf8(const char *text)
{
	for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p;) {
		const unsigned char c = *p++;
		const int more = c < 0x80 ? 0 : c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xF0 && c < 0xF5 ? 3 : -1;
		if (more < 0)
			return false;
		uint32_t value = c & (0x7F >> more);
		for (int i = 0; i < more; i++, p++) {
			if ((*p & 0xC0) != 0x80)
				return false;
			value = value << 6 | (*p & 0x3F);
		}
		if ((more == 2 && (value < 0x800 || (value >= 0xD800 && value < 0xE000))) ||
		    (more == 3 && (value < 0x10000 || value > 0x10FFFF)))
			return false;
	}
	return true;
}

/* The characters a piece of text takes as quoted-printable sends it. */
static int
SentLength(const std::string &text)
{
	return int(BytesAsSent((long long)text.size(), EqualSigns(text.data(), text.size())));
}

/* Words put on short lines: a space between two, or a line break where the
 * next would take the line past LONGEST_LINE; a word longer than a line
 * is broken between its pieces (a character, or a character reference),
 * which a reader takes for a space. A word is pieces that go together. */
namespace {

class ShortLines {
public:
	explicit ShortLines(std::string *text) : text_(text), line_(SentLength(text->substr(text->rfind('\n') + 1))) {}

	void Word(const std::vector<std::string> &pieces)
	{
		int length = 0;
		for (const std::string &piece : pieces)
			length += SentLength(piece);
		if (line_ > 0 && line_ + 1 + length > LONGEST_LINE)
			Break();
		else if (line_ > 0)
			Put(" ");
		for (const std::string &piece : pieces) {
			if (line_ > 0 && line_ + SentLength(piece) > LONGEST_LINE)
				Break();
			Put(piece);
		}
	}
	void Word(const std::string &word) { Word(std::vector<std::string>{word}); }

private:
	void Break()
	{
		*text_ += "\r\n";
		line_ = 0;
	}
	void Put(const std::string &piece)
	{
		*text_ += piece;
		line_ += SentLength(piece);
	}
	std::string *text_;
	int line_;
};

} // namespace

/* The pieces of escaped text, one a character or a character reference. */
static std::vector<std::string>
Pieces(const std::string &escaped)
{
	std::vector<std::string> pieces;
	for (size_t at = 0; at < escaped.size();) {
		const size_t end = escaped[at] == '&' ? escaped.find(';', at) + 1 : at + 1;
		pieces.push_back(escaped.substr(at, end - at));
		at = end;
	}
	return pieces;
}

/* The TABLE's start tag without CSS: its width, then its style, and what
 * it is to screen readers, on short lines. */
static std::string
TableStart(PageForm form, long long tableWidth, const char *alt)
{
	std::string tag = TABLE_WITH_WIDTH + std::to_string(tableWidth);
	ShortLines lines(&tag);
	lines.Word(std::string("style=\"") + (form == FORM_FRAGMENT ? FRAGMENT_STYLE : "") + ONLY_LIGHT + "\"");
	if (!alt || !*alt) {
		lines.Word("role=presentation>");
		return tag + "\r\n";
	}
	lines.Word("role=img");
	std::vector<std::vector<std::string>> words(1);
	for (const std::string &piece : Pieces(EscapedText(alt))) {
		if (piece == " ")
			words.emplace_back();
		else
			words.back().push_back(piece);
	}
	words.front().insert(words.front().begin(), "aria-label=\"");
	words.back().push_back("\">");
	for (const std::vector<std::string> &word : words)
		lines.Word(word);
	return tag + "\r\n";
}

std::string
PageHead(PageForm form, long long tableWidth, int cellSize, const char *alt)
{
	if (form == FORM_FRAGMENT)
		return TableStart(form, tableWidth, alt);
	if (form == FORM_WITHOUT_CSS)
		return DOCUMENT_HEAD_WITHOUT_CSS + TableStart(form, tableWidth, alt);
	char head[sizeof DOCUMENT_HEAD + 40];
	std::snprintf(head, sizeof head, DOCUMENT_HEAD, tableWidth, cellSize);
	return head;
}

const char *
PageTail(PageForm form)
{
	return form == FORM_FRAGMENT ? FRAGMENT_TAIL : DOCUMENT_TAIL;
}

/* Most of the page is cells: each is put together in the output buffer
 * itself. */
template <size_t N>
static char *
PutText(char *p, const char (&text)[N])
{
	std::memcpy(p, text, N - 1);
	return p + N - 1;
}

static char *
PutDecimal(char *p, int64_t value)
{
	char digits[24];
	char *d = digits + sizeof digits;
	uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
	do {
		*--d = char('0' + magnitude % 10);
		magnitude /= 10;
	} while (magnitude);
	if (value < 0)
		*--d = '-';
	const size_t length = size_t(digits + sizeof digits - d);
	std::memcpy(p, d, length);
	return p + length;
}

/* Six lower-case hex digits: red, green, blue. */
static char *
PutColor(char *p, uint32_t color)
{
	static const char hex[] = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
	                          "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f"
	                          "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f"
	                          "606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f"
	                          "808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f"
	                          "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf"
	                          "c0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedf"
	                          "e0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff";
	std::memcpy(p, hex + 2 * (color & 0xFF), 2);
	std::memcpy(p + 2, hex + 2 * (color >> 8 & 0xFF), 2);
	std::memcpy(p + 4, hex + 2 * (color >> 16 & 0xFF), 2);
	return p + 6;
}

char *
PutRowStart(char *p)
{
	return PutText(p, "<TR>");
}

char *
PutRowEnd(char *p)
{
	return PutText(p, "</TR>\r\n");
}

char *
PutLineBreak(char *p)
{
	return PutText(p, "\r\n");
}

long long
EqualSigns(const char *text, size_t length)
{
	long long equals = 0;
	for (size_t i = 0; i < length; i++)
		equals += text[i] == '=';
	return equals;
}

long long
CountRows(ByteCount count, const RowsWritten &w)
{
	switch (count) {
	case AS_SENT:
		return BytesAsSent(w.bytes, w.equals);
	case AS_PASTED:
		return BytesAsSent(w.bytes - 2 * w.breaks, w.equals) + PASTED_CELL * w.cells +
		       (PASTED_ROW - WRITTEN_ROW) * w.rows;
	default:
		return w.bytes;
	}
}

long long
CountAround(ByteCount count, const char *head, size_t headLength, const char *tail, size_t tailLength)
{
	const long long bytes = (long long)(headLength + tailLength);
	const long long equals = EqualSigns(head, headLength) + EqualSigns(tail, tailLength);
	switch (count) {
	case AS_SENT:
		return BytesAsSent(bytes, equals);
	case AS_PASTED:
		return BytesAsSent(bytes, equals) + PASTED_DOCUMENT;
	default:
		return bytes;
	}
}

char *
PutCell(char *p, int32_t x, int32_t y, int32_t cols, int32_t rows, uint32_t color, const Grid &grid)
{
	if (x > 0 && y > 0 && color != CLEAR_PIXEL) {
		p = PutText(p, "<TD bgcolor=#");
	} else {
		p = PutText(p, "<TD");
		if (y == 0)
			p = PutDecimal(PutText(p, " width="), grid.cellSize * cols -
			                                          (x + cols == grid.width ? grid.cellSize - grid.lastWidth : 0));
		if (x == 0)
			p = PutDecimal(PutText(p, " height="), grid.cellSize * rows -
			                                           (y + rows == grid.height ? grid.cellSize - grid.lastHeight : 0));
		if (color != CLEAR_PIXEL)
			p = PutText(p, " bgcolor=#");
	}
	if (color != CLEAR_PIXEL)
		p = PutColor(p, color);
	if (cols > 1)
		p = PutDecimal(PutText(p, " colspan="), cols);
	if (rows > 1)
		p = PutDecimal(PutText(p, " rowspan="), rows);
	return PutText(p, "></TD>");
}

char *
SpellAsSent(char *start, char *end, long long equals)
{
	char *to = end + 2 * equals;
	for (char *from = end; from > start;) {
		const char c = *--from;
		if (c == '=') {
			*--to = 'D';
			*--to = '3';
		}
		*--to = c;
	}
	return end + 2 * equals;
}
