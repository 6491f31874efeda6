#ifndef TILERY_PAGE_PAGE_TEXT_H
#define TILERY_PAGE_PAGE_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

/* The page's HTML: the document around the table in each of its forms,
 * and the table's rows and cells. The title is Shift_JIS, as the page has
 * always carried it; everything else is ASCII. Lines end in CR LF on
 * every platform. */

/* The page with its STYLE, which makes every engine draw each pixel as a
 * square of the cell size; the page without CSS, whose table draws
 * exactly by its attributes alone; the table alone, for a mail, whose
 * TABLE carries the one style that keeps its rows their height where a
 * mail editor puts a line break into every empty cell. */
enum PageForm { FORM_STYLED, FORM_WITHOUT_CSS, FORM_FRAGMENT };

/* Without CSS, lines stay short: none takes more characters than this as
 * quoted-printable encodes it (each = three), breaking only between
 * cells, so that a mail carries the page unencoded, or encoded without a
 * soft line break, its size as sent known from the = signs it holds. The
 * encoding allows 76, but encoders as common as Python's break a line of
 * 76 too. */
enum { LONGEST_LINE = 75 };

/* The bytes of text holding `equals` = signs, as quoted-printable sends
 * it: each = is three bytes, everything else in the page one. */
inline long long
BytesAsSent(long long bytes, long long equals)
{
	return bytes + 2 * equals;
}

/* How a page's bytes are counted: as written; as sent in a mail (each =
 * three, as above); or as a mail editor keeps the table once it is pasted,
 * its line ends as sent. The editor's rewrite measured largest,
 * Thunderbird's, puts every element on a line of its own, indented, quotes
 * every attribute and fills each cell with a line break:
 *         <tr>
 *           <td width="1" bgcolor="#aabbcc"><br>
 *           </td>
 *         </tr>
 * so that a cell takes two bytes more an attribute (an = sign each) and
 * PASTED_CELL more, a row PASTED_ROW bytes where it took WRITTEN_ROW, the
 * short lines' breaks go, and the document, the TBODY and the indents
 * around the table take at most PASTED_DOCUMENT. */
enum ByteCount { AS_WRITTEN, AS_SENT, AS_PASTED };
enum { PASTED_CELL = 28, PASTED_ROW = 29, WRITTEN_ROW = 11, PASTED_DOCUMENT = 400 };

/* What the scan wrote of a table's rows: their bytes, and the = signs,
 * cells, rows and line breaks between cells among them. */
struct RowsWritten {
	long long bytes, equals, cells, rows, breaks;
};

/* Those rows' bytes, counted so. */
long long CountRows(ByteCount count, const RowsWritten &written);

/* The bytes of the text around the rows (head and tail), counted so. */
long long CountAround(ByteCount count, const char *head, size_t headLength, const char *tail, size_t tailLength);

/* The table's grid: its columns and rows, each cellSize screen pixels but
 * the last, which a coarser grid leaves smaller. */
struct Grid {
	int64_t cellSize;
	int32_t width, height;
	int64_t lastWidth, lastHeight;
};

/* The grid of a picture width x height at the scale: its cells scale times
 * the cell size, the last column and row what is left of the drawn size. */
Grid GridOf(int32_t width, int32_t height, int32_t scale, int cellSize);

/* The text before the table's rows, for a picture drawn tableWidth screen
 * pixels wide at the cell size; without CSS, the table is one picture for
 * screen readers, named by alt (UTF-8), or decoration where alt is null or
 * empty. PageTail is the text after the rows. */
std::string PageHead(PageForm form, long long tableWidth, int cellSize, const char *alt);
const char *PageTail(PageForm form);

/* Text as HTML holds it in an attribute's value, in ASCII: & < " as
 * references, other characters past ASCII as numeric ones, control
 * characters as spaces. The text must be UTF-8 (IsUtf8). */
std::string EscapedText(const char *text);
bool IsUtf8(const char *text);

/* The = signs in text. */
long long EqualSigns(const char *text, size_t length);

/* Room a row's start, the longest cell, a line break and a row's end take. */
enum { LONGEST_CELL = 160 };

char *PutRowStart(char *p);
char *PutRowEnd(char *p);
char *PutLineBreak(char *p);

/* The cell of cols x rows grid cells whose top-left is (x, y). Cells
 * starting in the first row carry the width of their columns, cells
 * starting in the first column the height of their rows. A clear cell has
 * no colour, and shows what lies below the table. Returns the text's end. */
char *PutCell(char *p, int32_t x, int32_t y, int32_t cols, int32_t rows, uint32_t color, const Grid &grid);

/* The text from start to end, holding `equals` = signs, spelt as
 * quoted-printable sends it, in place: each = as =3D, which takes two more
 * bytes after end an = sign. Returns the text's new end. */
char *SpellAsSent(char *start, char *end, long long equals);

/* The = signs in that cell: one an attribute, as PutCell writes them. */
inline int
CellEqualSigns(int32_t x, int32_t y, int32_t cols, int32_t rows, bool clear)
{
	return !clear + (y == 0) + (x == 0) + (cols > 1) + (rows > 1);
}

#endif
