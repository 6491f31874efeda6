/* The page as a mail message: headers, a text part and the HTML. */
#include "page/message.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "page/page_text.h"
#include "system/decimal.h"

/* A header's or a text's lines take at most this many characters. */
enum { MESSAGE_LINE = 76 };

/* A value that tells this message from every other: random, or, where the
 * date is given, one that the message's own fields make. */
static uint64_t
UniqueValue(long long date, bool given, const MessageFields &fields, long long tableWidth)
{
	if (!given) {
		std::random_device random;
		const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
		return (uint64_t(random()) << 32 ^ random()) ^ uint64_t(now) ^ uint64_t(date) << 20;
	}
	uint64_t hash = 14695981039346656037u; /* FNV-1a */
	const std::string made = std::to_string(date) + "\n" + (fields.subject ? fields.subject : "") + "\n" +
	                         std::to_string(tableWidth);
	for (const unsigned char c : made)
		hash = (hash ^ c) * 1099511628211u;
	return hash;
}

/* Printable ASCII, as headers and the text part may carry it. */
static bool
IsPrintable(unsigned char c)
{
	return c >= 0x20 && c < 0x7F;
}

bool
IsHeaderText(const char *text)
{
	size_t word = 0;
	for (const char *p = text; *p; p++) {
		if (!IsPrintable(static_cast<unsigned char>(*p)))
			return false;
		word = *p == ' ' ? 0 : word + 1;
		if (word > MESSAGE_LINE - 10)
			return false;
	}
	return true;
}

bool
NamesAMessage(const char *path)
{
	const size_t length = std::strlen(path);
	if (length < 4)
		return false;
	char end[5] = {};
	for (size_t i = 0; i < 4; i++)
		end[i] = char(std::tolower(static_cast<unsigned char>(path[length - 4 + i])));
	return std::strcmp(end, ".eml") == 0;
}

/* "Name: value", folded onto lines of their own (a space first) between
 * words: the value must be header text. */
static std::string
Header(const char *name, const std::string &value)
{
	std::string header = name, word;
	size_t line = header.size() + 1;
	header += ":";
	for (size_t at = 0; at <= value.size(); at++) {
		if (at < value.size() && value[at] != ' ') {
			word += value[at];
			continue;
		}
		if (word.empty())
			continue;
		if (line + 1 + word.size() > MESSAGE_LINE) {
			header += "\r\n";
			line = 0;
		}
		header += " " + word;
		line += 1 + word.size();
		word.clear();
	}
	return header + "\r\n";
}

static std::string
Base64(const std::string &bytes)
{
	static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
	std::string out;
	for (size_t at = 0; at < bytes.size(); at += 3) {
		uint32_t group = uint32_t(static_cast<unsigned char>(bytes[at])) << 16;
		if (at + 1 < bytes.size())
			group |= uint32_t(static_cast<unsigned char>(bytes[at + 1])) << 8;
		if (at + 2 < bytes.size())
			group |= static_cast<unsigned char>(bytes[at + 2]);
		out += digits[group >> 18];
		out += digits[group >> 12 & 63];
		out += at + 1 < bytes.size() ? digits[group >> 6 & 63] : '=';
		out += at + 2 < bytes.size() ? digits[group & 63] : '=';
	}
	return out;
}

/* The subject: as it is where a header can hold it, else in words of
 * base64 UTF-8 (RFC 2047), each of whole characters, on lines of their
 * own. Control characters become spaces. */
static std::string
SubjectHeader(const char *subject)
{
	std::string text = subject;
	for (char &c : text)
		if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
			c = ' ';
	if (IsHeaderText(text.c_str()) && text.find("=?") == std::string::npos)
		return Header("Subject", text);
	enum { WORD_BYTES = 39 }; /* 52 characters of base64, 64 with their frame */
	std::string header = "Subject:";
	for (size_t at = 0; at < text.size();) {
		size_t end = std::min(text.size(), at + WORD_BYTES);
		while (end > at + 1 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
			end--; /* a character stays whole, but a name not in UTF-8 goes on all the same */
		header += (at == 0 ? " " : "\r\n ") + std::string("=?UTF-8?B?") + Base64(text.substr(at, end - at)) + "?=";
		at = end;
	}
	return header + "\r\n";
}

/* UTF-8 text as quoted-printable sends it, in lines of at most 76
 * characters, a soft line break (=) ending all but the last. */
static std::string
QuotedPrintable(const std::string &text)
{
	std::string out;
	size_t line = 0;
	for (size_t at = 0; at < text.size(); at++) {
		const unsigned char c = static_cast<unsigned char>(text[at]);
		char piece[4] = {char(c), 0, 0, 0};
		if (c == '=' || !IsPrintable(c) || (c == ' ' && at + 1 == text.size()))
			std::snprintf(piece, sizeof piece, "=%02X", c);
		const size_t length = std::strlen(piece);
		if (line + length > MESSAGE_LINE - 1) {
			out += "=\r\n";
			line = 0;
		}
		out += piece;
		line += length;
	}
	return out;
}

/* RFC 5322's date, in UTC. */
static std::string
DateText(long long seconds, std::string *compact)
{
	static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
	static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
	                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
	const std::time_t when = std::time_t(seconds);
	const std::tm *utc = std::gmtime(&when);
	char text[64] = "Thu, 01 Jan 1970 00:00:00 +0000", numbers[32] = "19700101000000";
	if (utc) {
		std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[utc->tm_wday % 7], utc->tm_mday,
		              months[utc->tm_mon % 12], utc->tm_year + 1900, utc->tm_hour, utc->tm_min, utc->tm_sec);
		std::snprintf(numbers, sizeof numbers, "%04d%02d%02d%02d%02d%02d", utc->tm_year + 1900, utc->tm_mon + 1,
		              utc->tm_mday, utc->tm_hour, utc->tm_min, utc->tm_sec);
	}
	*compact = numbers;
	return text;
}

MessageText
MessageAround(const MessageFields &fields, long long tableWidth, int cellSize)
{
	long long date = (long long)std::time(nullptr);
	const char *given = std::getenv("SOURCE_DATE_EPOCH");
	const bool reproducible = given && ParseDecimal(given, 0, 253402300799LL, &date);
	std::string compact;
	const std::string dateText = DateText(date, &compact);
	char unique[24];
	std::snprintf(unique, sizeof unique, "%016llx",
	              (unsigned long long)UniqueValue(date, reproducible, fields, tableWidth));

	/* The text: the picture's own, or what it is. */
	std::string text;
	if (fields.alt && *fields.alt)
		text = fields.alt;
	else
		text = (fields.pictureName && *fields.pictureName ? std::string(fields.pictureName) + ": a" : std::string("A")) +
		       " picture of " + std::to_string(fields.pictureWidth) + " x " + std::to_string(fields.pictureHeight) +
		       " pixels.";
	const std::string textPart = QuotedPrintable(text);
	std::string boundary = std::string("tilery-") + unique;
	while (textPart.find(boundary) != std::string::npos)
		boundary += "x";

	/* The HTML: the table centred in a mail's usual layout, in light
	 * colours only, which themes that darken pages leave as they are. A
	 * mail program's dark mode (Thunderbird's) that strips every bgcolor
	 * leaves alone a message whose root's filter names invert(1), taking
	 * it for one that darkens itself: a filter that refers to no element
	 * is ignored by every engine, so the picture is drawn exactly, light
	 * or dark, where two inversions drew some colours one off. */
	const long long layout = tableWidth > 600 ? tableWidth : 600;
	std::string html = "<!DOCTYPE html>\r\n"
	                   "<html style=\"filter:url('#invert(1)')\">\r\n"
	                   "<head>\r\n"
	                   "<meta charset=\"utf-8\">\r\n"
	                   "<meta name=\"color-scheme\" content=\"only light\">\r\n"
	                   "</head>\r\n"
	                   "<body>\r\n"
	                   "<table width=" +
	                   std::to_string(layout) +
	                   " align=center border=0\r\n"
	                   "cellspacing=0 cellpadding=0>\r\n"
	                   "<tr><td align=center>\r\n" +
	                   PageHead(FORM_FRAGMENT, tableWidth, cellSize, fields.alt);

	MessageText message;
	std::string &head = message.head;
	head = "MIME-Version: 1.0\r\nDate: " + dateText + "\r\nMessage-ID: <" + compact + "." + unique +
	       "@tilery.invalid>\r\n";
	if (fields.from && *fields.from)
		head += Header("From", fields.from);
	if (fields.to && *fields.to)
		head += Header("To", fields.to);
	head += SubjectHeader(fields.subject ? fields.subject : "");
	head += "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\r\n\r\n";
	const std::string part = "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
	head += "--" + boundary + "\r\nContent-Type: text/plain; charset=utf-8\r\n" + part + textPart + "\r\n";
	head += "--" + boundary + "\r\nContent-Type: text/html; charset=utf-8\r\n" + part;
	for (const char c : html) /* quoted-printable: its lines are short */
		head += c == '=' ? std::string("=3D") : std::string(1, c);
	message.tail = std::string(PageTail(FORM_FRAGMENT)) + "</td></tr>\r\n</table>\r\n</body>\r\n</html>\r\n--" +
	               boundary + "--\r\n";
	return message;
}
