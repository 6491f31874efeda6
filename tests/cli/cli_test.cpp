#include <gtest/gtest.h>

#include <pwd.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <zlib.h>

#include "bmp_writer.h"
#include "test_files.h"

namespace {

struct CliRun {
	int status;
	std::string out, err;
};

/* Runs tilery-cli with the given argument text (already quoted for the shell). */
CliRun
Cli(const TempDir &dir, const std::string &arguments)
{
	const std::string out = dir.file("stdout"), err = dir.file("stderr");
	const std::string command = std::string("'") + TILERY_CLI + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
	const int raw = std::system(command.c_str());
	return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
}

const char USAGE[] = "usage: tilery-cli [OPTIONS] INPUT OUTPUT [CELL_SIZE]  (tilery-cli --help says more)\n";

TEST(CliTest, ConvertsWithTheDefaultOrAGivenCellSize)
{
	TempDir dir;
	WriteFile(dir.file("in.bmp"), MakeBmp24(1, 1, {0xFF0000}));
	CliRun run = Cli(dir, "'" + dir.file("in.bmp") + "' '" + dir.file("out.html") + "'");
	EXPECT_EQ(run.status, 0);
	EXPECT_EQ(run.err, "");
	EXPECT_NE(ReadFile(dir.file("out.html")).find("<TD width=1 height=1 bgcolor=#ff0000>"), std::string::npos);

	run = Cli(dir, "'" + dir.file("in.bmp") + "' '" + dir.file("out.html") + "' 999");
	EXPECT_EQ(run.status, 0);
	EXPECT_NE(ReadFile(dir.file("out.html")).find("<TD width=999 height=999 "), std::string::npos);
}

/* Quotes are part of a name here, unlike on Windows: "in.bmp" is not in.bmp. */
TEST(CliTest, FailuresAreNoticesOnStandardErrorWithStatusOne)
{
	TempDir dir;
	CliRun run = Cli(dir, "'" + dir.file("none.bmp") + "' '" + dir.file("out.html") + "'");
	EXPECT_EQ(run.status, 1);
	EXPECT_EQ(run.err, "tilery: ファイルオープン失敗[" + dir.file("none.bmp") + "]\n");
	EXPECT_FALSE(FileExists(dir.file("out.html")));

	WriteFile(dir.file("in.bmp"), MakeBmp24(1, 1, {0xFF0000}));
	run = Cli(dir, "'\"" + dir.file("in.bmp") + "\"' '" + dir.file("out.html") + "'");
	EXPECT_EQ(run.status, 1);
	EXPECT_EQ(run.err, "tilery: ファイルオープン失敗[\"" + dir.file("in.bmp") + "\"]\n");
	EXPECT_FALSE(FileExists(dir.file("out.html")));
}

/* A wrong argument is named, the usage follows; nothing is written. */
TEST(CliTest, WrongArgumentsAreNamedWithTheUsageAndStatusTwo)
{
	TempDir dir;
	const std::pair<const char *, const char *> cases[] = {
		{"", "INPUT"}, {"a.bmp", "OUTPUT"}, {"a.bmp b.html 0", "CELL_SIZE: '0'"},
		{"a.bmp b.html 1000", "CELL_SIZE: '1000'"}, {"a.bmp b.html x", "CELL_SIZE: 'x'"},
		{"a.bmp b.html ' 5'", "CELL_SIZE: ' 5'"}, {"a.bmp b.html -5", "CELL_SIZE: '-5'"},
		{"a.bmp b.html 5 6", ": 6"}, {"--frag a.bmp b.html", "--frag"}, {"a.bmp b.html --bogus", "--bogus"},
		{"--background red a.bmp b.html", "--background: 'red'"},
		{"--background '#12345' a.bmp b.html", "--background: '#12345'"}, {"a.bmp b.html --background", "--background"},
		{"--max-bytes 12X a.bmp b.html", "--max-bytes: '12X'"}, {"--max-bytes 0 a.bmp b.html", "--max-bytes: '0'"},
		{"--tolerance 256 a.bmp b.html", "--tolerance"}, {"--scale 0 a.bmp b.html", "--scale"},
		{"--colours 1 a.bmp b.html", "--colours"},
		{"--width 0 a.bmp b.html", "--width: '0' is not a whole number from 1 to 1000000"},
		{"--width 0x10 a.bmp b.html", "--width: '0x10' is not a whole number"},
		{"--colours 1e3 a.bmp b.html", "--colours: '1e3' is not a whole number"},
		{"--max-bytes 100k a.bmp b.html", "'100k' is not a number of bytes: digits, then K (1000) or M (1000000)"},
		{"--alt \"$(printf 'a\\377')\" a.bmp b.html", "--alt: 'a\xFF' is not UTF-8"},
		{"--subject x a.bmp b.html", "--subject, --from and --to are for a message"},
		{"--from 'J\xC3\xB6rg <j@example.org>' a.bmp b.eml", "--from: "},
		{"--for-editor --message a.bmp b.html", "--for-editor is for a fragment"}};
	for (const auto &[arguments, named] : cases) {
		SCOPED_TRACE(arguments);
		const CliRun run = Cli(dir, arguments);
		EXPECT_EQ(run.status, 2);
		EXPECT_EQ(run.out, "");
		EXPECT_EQ(run.err.rfind("tilery: ", 0), 0u) << run.err;
		EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
		ASSERT_GE(run.err.size(), sizeof USAGE - 1);
		EXPECT_EQ(run.err.substr(run.err.size() - (sizeof USAGE - 1)), USAGE);
	}
	EXPECT_FALSE(FileExists(dir.file("b.html")));
	CliRun help = Cli(dir, "--help");
	EXPECT_EQ(help.status, 0);
	for (const char *named : {"INPUT", "OUTPUT", "CELL_SIZE", "--fragment", "--no-css", "--transparent",
	                          "--background", "--max-bytes", "--colours", "--tolerance", "--scale", "--help",
	                          "--version", "JPEG, WebP"})
		EXPECT_NE(help.out.find(named), std::string::npos) << named;
	EXPECT_EQ(help.err, "");
}


/* "-" is standard input or output, as in other tools; notices stay on
 * standard error, and the statuses are the same. */
TEST(CliTest, DashReadsStandardInputAndWritesStandardOutput)
{
	TempDir dir;
	WriteFile(dir.file("in.bmp"), MakeBmp24(2, 1, {0xFF0000, 0x00FF00}));
	ASSERT_EQ(Cli(dir, "'" + dir.file("in.bmp") + "' '" + dir.file("file.html") + "' 3").status, 0);
	CliRun run = Cli(dir, "- - 3 <'" + dir.file("in.bmp") + "'");
	EXPECT_EQ(run.status, 0);
	EXPECT_EQ(run.err, "");
	EXPECT_EQ(run.out, ReadFile(dir.file("file.html")));

	/* Appended to, standard output is written where it stands. */
	WriteFile(dir.file("log.html"), std::string("before\n"));
	const std::string append = "'" + std::string(TILERY_CLI) + "' '" + dir.file("in.bmp") + "' - 3 >>'" +
	                           dir.file("log.html") + "'";
	ASSERT_EQ(std::system(append.c_str()), 0);
	EXPECT_EQ(ReadFile(dir.file("log.html")), "before\n" + ReadFile(dir.file("file.html")));

	WriteFile(dir.file("text"), std::string("not a picture"));
	run = Cli(dir, "- '" + dir.file("out.html") + "' <'" + dir.file("text") + "'");
	EXPECT_EQ(run.status, 1);
	EXPECT_EQ(run.err, "tilery: ファイルオープン失敗[-]\n");
	EXPECT_FALSE(FileExists(dir.file("out.html")));

	CliRun version = Cli(dir, "--version");
	EXPECT_EQ(version.status, 0);
	EXPECT_EQ(version.out, "tilery-cli " TILERY_VERSION "\n");
}

/* On a terminal the conversion shows one line that updates itself and is
 * cleared at the end; elsewhere standard error stays empty. */
TEST(CliTest, ProgressShowsOnATerminalOnly)
{
	TempDir dir;
	std::vector<uint32_t> rgb(300 * 300);
	uint32_t h = 1;
	for (uint32_t &c : rgb)
		h = h * 1103515245u + 12345u, c = (h >> 8) & 0x030303u;
	WriteFile(dir.file("in.bmp"), MakeBmp24(300, 300, rgb));
	/* script runs the tool on a terminal and passes on what it printed there. */
	const std::string command = "script -qec \"'" + std::string(TILERY_CLI) + "' '" + dir.file("in.bmp") +
	                            "' /dev/null\" /dev/null </dev/null >'" + dir.file("typescript") + "'";
	ASSERT_EQ(std::system(command.c_str()), 0);
	const std::string shown = ReadFile(dir.file("typescript"));
	EXPECT_NE(shown.find("\rtilery: row "), std::string::npos) << shown;
	EXPECT_EQ(shown.find('\n'), std::string::npos) << "more than one line";
	EXPECT_GE(shown.size(), 4u);
	EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K") << "the line is not cleared at the end";

	CliRun quiet = Cli(dir, "'" + dir.file("in.bmp") + "' /dev/null");
	EXPECT_EQ(quiet.status, 0);
	EXPECT_EQ(quiet.err, "");

	/* A page for a mail says what it came to, and whether Gmail clips it. */
	const std::string fragment = "script -qec \"'" + std::string(TILERY_CLI) + "' --fragment '" + dir.file("in.bmp") +
	                             "' '" + dir.file("f.html") + "'\" /dev/null </dev/null >'" + dir.file("typescript") + "'";
	ASSERT_EQ(std::system(fragment.c_str()), 0);
	const std::string told = ReadFile(dir.file("typescript"));
	const std::string page = ReadFile(dir.file("f.html"));
	const std::string sent = std::to_string(page.size() + 2 * size_t(std::count(page.begin(), page.end(), '=')));
	EXPECT_NE(told.find(" cells, " + std::to_string(page.size()) + " bytes (" + sent +
	                    " as sent in a mail), past the 102000 bytes past which Gmail clips a message"),
	          std::string::npos)
		<< told;
}

/* What the tool tells, wherever its notices go, says what was done and no
 * more: a reduction as made, a budget met without one, a width fitted,
 * transparency asked of a picture that has none, a fragment wider than a
 * mail, and Gmail's clipping once a page passes it. */
TEST(CliTest, ReportsSayWhatWasDone)
{
	TempDir dir;
	std::vector<uint32_t> rgb(700 * 60);
	for (size_t i = 0; i < rgb.size(); i++)
		rgb[i] = (i % 700 / 10 + i / 7000) % 3 ? 0x2060D0 : uint32_t(i * 2654435761u) & 0xFFFFFF;
	WriteFile(dir.file("in.bmp"), MakeBmp24(700, 60, rgb));
	const std::string files = " '" + dir.file("in.bmp") + "' '" + dir.file("out.html") + "'";
	struct Told {
		std::string options, said, unsaid;
	};
	const Told told[] = {
		{"--scale 3", "tilery: a grid 3 times coarser: ", "tolerance"},
		{"--max-bytes 10M", "tilery: no reduction: ", "coarser"},
		{"--colours 4", "tilery: 4 colours at most: ", "coarser"},
		{"--transparent --fragment --width 600",
		 "tilery: the picture made 600x51 pixels from 700x60, at cell size 1, for a table at most 600 pixels wide\n"
		 "tilery: --transparent changed nothing: the picture has no fully transparent pixel\n",
		 "wider than"},
		{"--fragment", "tilery: the table is 700 pixels wide, wider than a mail's usual 600: --width 600 fits it\n",
		 "coarser"},
		{"--no-css", "bytes, past the 102000 bytes past which Gmail clips a message\n", "as sent"},
		{"--fragment --max-bytes 50K", " as sent), PSNR ", "Gmail"},
		{"--transparent", "tilery: --transparent changed nothing", "Gmail"}, /* a web page */
		{"--width 600 --max-bytes 10M", "no loss but the width's: the exact page of the picture made 600x51\n",
		 "no loss: "},
		{"--width 010 --scale 1", "the picture made 10x1 pixels from 700x60", "coarser"},
	};
	for (const Told &t : told) {
		SCOPED_TRACE(t.options);
		const CliRun run = Cli(dir, t.options + files);
		EXPECT_EQ(run.status, 0);
		EXPECT_NE(run.err.find(t.said), std::string::npos) << run.err;
		EXPECT_EQ(run.err.find(t.unsaid), std::string::npos) << run.err;
	}
}

/* A fragment made to 100,000 bytes from a photograph, put into a mail's
 * usual layout and sent as a mail library sends it (Python's email
 * package, quoted-printable or 8bit): the message stays under the 102,000
 * bytes where Gmail clips, headers and all, its lines within what mail
 * carries, and the HTML it decodes to is the layout with the fragment. */
TEST(CliTest, AFragmentWithinItsBudgetTravelsInAMailWithinIt)
{
	const std::string photo = std::string(TILERY_PHOTO_DIR) + "/chelsea.png";
	if (!FileExists(photo))
		GTEST_SKIP() << photo << " is missing: ./build.sh test fetches the photographs";
	TempDir dir;
	const CliRun run = Cli(dir, "--fragment --max-bytes 100K '" + photo + "' '" + dir.file("fragment.html") + "'");
	ASSERT_EQ(run.status, 0) << run.err;
	WriteFile(dir.file("mail.py"),
	          std::string("import sys\n"
	                      "from email import policy, message_from_bytes\n"
	                      "from email.message import EmailMessage\n"
	                      "fragment = open(sys.argv[1], newline='').read()\n"
	                      "layout = ('<!DOCTYPE html><html><body style=\"margin:0\">\\r\\n<table width=600 align=center'\n"
	                      "          ' border=0 cellspacing=0 cellpadding=0>\\r\\n<tr><td>\\r\\n' + fragment +\n"
	                      "          '</td></tr>\\r\\n</table>\\r\\n</body></html>\\r\\n')\n"
	                      "for cte in ('quoted-printable', '8bit'):\n"
	                      "    m = EmailMessage()\n"
	                      "    m['From'] = 'The newsletter <letters@example.org>'\n"
	                      "    m['To'] = 'A reader <reader@example.com>'\n"
	                      "    m['Subject'] = 'This month, in pictures'\n"
	                      "    m['Date'] = 'Wed, 09 Dec 2026 10:00:00 +0000'\n"
	                      "    m['Message-ID'] = '<picture.2026-12@example.org>'\n"
	                      "    m.set_content(layout, subtype='html', charset='utf-8', cte=cte)\n"
	                      "    sent = m.as_bytes(policy=policy.SMTP)\n"
	                      "    back = message_from_bytes(sent, policy=policy.default).get_content()\n"
	                      "    same = back.replace('\\r\\n', '\\n') == layout.replace('\\r\\n', '\\n')\n"
	                      "    longest = max(len(line) for line in sent.split(b'\\r\\n'))\n"
	                      "    print(cte, len(sent), longest, same)\n"));
	const std::string command = "/usr/bin/python3 '" + dir.file("mail.py") + "' '" + dir.file("fragment.html") +
	                            "' >'" + dir.file("sizes") + "'";
	ASSERT_EQ(std::system(command.c_str()), 0) << "python3 failed";
	const std::string sizes = ReadFile(dir.file("sizes"));
	for (const char *encoding : {"quoted-printable ", "8bit "}) {
		const size_t at = sizes.find(encoding);
		ASSERT_NE(at, std::string::npos) << sizes;
		long bytes = 0, longest = 0;
		char same[8] = "";
		ASSERT_EQ(std::sscanf(sizes.c_str() + at + std::strlen(encoding), "%ld %ld %7s", &bytes, &longest, same), 3);
		SCOPED_TRACE(sizes);
		EXPECT_LT(bytes, 102000) << encoding << "message";
		EXPECT_LE(longest, 998) << "a line longer than mail carries";
		EXPECT_STREQ(same, "True") << "the HTML decoded is not the layout with the fragment";
	}
}

/* The fragment as Thunderbird's editor keeps it once pasted, as its saved
 * draft holds it: a document around it, a TBODY, every element on lines of
 * its own, indented two spaces a level (rows eight, cells ten), every
 * attribute's value quoted, a start tag broken before an attribute that
 * would take it past 72 columns, a line break in every cell, lines ending
 * in CR LF. */
std::string
AsThunderbirdKeepsIt(const std::string &fragment)
{
	auto tag = [](const std::string &written, size_t indent) {
		std::string name = written.substr(1, written.find_first_of(" \r\n>") - 1), out, line;
		for (char &c : name)
			c = char(std::tolower(c));
		line = std::string(indent, ' ') + "<" + name;
		for (size_t at = written.find('='); at != std::string::npos; at = written.find('=', at + 1)) {
			const size_t start = written.find_last_of(" \r\n", at) + 1;
			const bool quoted = written[at + 1] == '"';
			const size_t end = quoted ? written.find('"', at + 2) + 1 : written.find_first_of(" \r\n>", at);
			std::string value = written.substr(at + 1, end - at - 1);
			if (!quoted)
				value = "\"" + value + "\"";
			const std::string attribute = written.substr(start, at - start) + "=" + value;
			if (line.size() + 1 + attribute.size() > 72) {
				out += line + "\r\n";
				line = std::string(indent + 2, ' ') + attribute;
			} else {
				line += " " + attribute;
			}
			at = end - 1;
		}
		return out + line + ">";
	};
	std::string kept = "<!DOCTYPE html>\r\n<html>\r\n  <head>\r\n    <meta http-equiv=\"content-type\" "
	                   "content=\"text/html; charset=UTF-8\">\r\n  </head>\r\n  <body>\r\n    <p><br>\r\n    </p>\r\n";
	for (size_t at = fragment.find('<'); at != std::string::npos; at = fragment.find('<', at + 1)) {
		const std::string written = fragment.substr(at, fragment.find('>', at) + 1 - at);
		if (written.rfind("<TABLE", 0) == 0)
			kept += tag(written, 4) + "\r\n      <tbody>\r\n";
		else if (written == "<TR>")
			kept += "        <tr>\r\n";
		else if (written.rfind("<TD", 0) == 0)
			kept += tag(written, 10) + "<br>\r\n          </td>\r\n";
		else if (written == "</TR>")
			kept += "        </tr>\r\n";
		else if (written == "</TABLE>")
			kept += "      </tbody>\r\n    </table>\r\n";
	}
	return kept + "    <p><br>\r\n    </p>\r\n  </body>\r\n</html>\r\n";
}

/* For pasting into a compose window, the budget counts the table as the
 * mail editor keeps it: so kept, a photograph's and a logo's tables of
 * 100K come to at most 100,000 bytes, and use at least nine tenths of
 * them. The three counts are told. */
TEST(CliTest, ATableForPastingFitsItsBudgetAsTheMailEditorKeepsIt)
{
	const std::string photo = std::string(TILERY_PHOTO_DIR) + "/chelsea.png";
	if (!FileExists(photo))
		GTEST_SKIP() << photo << " is missing: ./build.sh test fetches the photographs";
	TempDir dir;
	/* A logo with soft edges: shapes on white, each edge a blend. */
	std::vector<uint32_t> logo;
	for (int y = 0; y < 300; y++)
		for (int x = 0; x < 600; x++) {
			const double disc = std::hypot(x - 150.0, y - 150.0) - 110, bar = std::abs(y - 40.0 - x / 4.0) - 12,
			             ring = std::abs(std::hypot(x - 450.0, y - 200.0) - 60) - 8;
			const double ink = std::min(1.0, std::max(0.0, 0.5 - std::min({disc, x > 290 ? bar : 1e9, ring})));
			const uint32_t shade = uint32_t(255 - ink * (x > 290 ? 200 : 40 + x / 4));
			logo.push_back(shade << 16 | uint32_t(255 - ink * 120) << 8 | 255);
		}
	WriteFile(dir.file("logo.bmp"), MakeBmp24(600, 300, logo));
	for (const std::string &picture : {photo, dir.file("logo.bmp")}) {
		SCOPED_TRACE(picture);
		const CliRun run = Cli(dir, "--for-editor --transparent --width 600 --max-bytes 100K '" + picture + "' '" +
		                                dir.file("fragment.html") + "'");
		ASSERT_EQ(run.status, 0) << run.err;
		EXPECT_NE(run.err.find(" as sent, "), std::string::npos) << run.err;
		EXPECT_NE(run.err.find(" as pasted), "), std::string::npos) << run.err;
		const size_t kept = AsThunderbirdKeepsIt(ReadFile(dir.file("fragment.html"))).size();
		EXPECT_LE(kept, 100000u);
		EXPECT_GE(kept, 90000u);
	}
}

/* A message ready to send, parsed by Python's email package as a mail
 * program reads it: no defect, a subject in Japanese as given, From and
 * To, a text part that is the picture's text and an HTML part that is a
 * document around the very fragment the tool writes, every line within 76
 * characters, and the whole file within --max-bytes. A name ending in
 * .eml asks for a message as --message does. */
TEST(CliTest, AMessageIsReadyToSendWithinItsBudget)
{
	const std::string photo = std::string(TILERY_PHOTO_DIR) + "/chelsea.png";
	if (!FileExists(photo))
		GTEST_SKIP() << photo << " is missing: ./build.sh test fetches the photographs";
	TempDir dir;
	const std::string alt = "--alt 'Chelsea, the cat & her whiskers' --transparent ";
	const std::string texts = alt + "--subject '猫の写真: Chelsea' --from 'Letters <letters@example.org>' "
	                                "--to 'reader@example.com' ";
	ASSERT_EQ(Cli(dir, texts + "--max-bytes 100K --message '" + photo + "' '" + dir.file("budget.msg") + "'").status, 0);
	ASSERT_EQ(Cli(dir, texts + "'" + photo + "' '" + dir.file("whole.EML") + "'").status, 0);
	ASSERT_EQ(Cli(dir, alt + "--fragment '" + photo + "' '" + dir.file("fragment.html") + "'").status, 0);
	WriteFile(dir.file("read.py"),
	          std::string("import sys\n"
	                      "from email import policy, message_from_bytes\n"
	                      "for name in sys.argv[1:3]:\n"
	                      "    raw = open(name, 'rb').read()\n"
	                      "    m = message_from_bytes(raw, policy=policy.default)\n"
	                      "    parts = list(m.iter_parts())\n"
	                      "    defects = len(m.defects) + sum(len(p.defects) for p in parts)\n"
	                      "    html = m.get_body(('html',)).get_payload(decode=True)\n"
	                      "    fragment = open(sys.argv[3], 'rb').read()\n"
	                      "    print(len(raw), max(len(l) for l in raw.split(b'\\r\\n')), raw.count(b'\\n') == "
	                      "raw.count(b'\\r\\n'), defects, m.get_content_type(), [p.get_content_type() for p in parts] "
	                      "== ['text/plain', 'text/html'], m['Subject'] == '猫の写真: Chelsea', m['From'] == 'Letters "
	                      "<letters@example.org>', m['To'] == 'reader@example.com', m['Date'] is not None, "
	                      "m['Message-ID'] is not None, m.get_body(('plain',)).get_content().strip() == 'Chelsea, the "
	                      "cat & her whiskers', html.startswith(b'<!DOCTYPE html>'), b'only light' in html, "
	                      "b'<TABLE border=0' in html and b'</TABLE>' in html, fragment in html)\n"));
	const std::string command = "/usr/bin/python3 '" + dir.file("read.py") + "' '" + dir.file("budget.msg") + "' '" +
	                            dir.file("whole.EML") + "' '" + dir.file("fragment.html") + "' >'" +
	                            dir.file("read") + "' 2>&1";
	ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(dir.file("read"));
	const std::string read = ReadFile(dir.file("read"));
	const size_t second = read.find('\n') + 1;
	ASSERT_GT(second, 0u) << read;
	const std::string lines[] = {read.substr(0, second - 1), read.substr(second, read.find('\n', second) - second)};
	for (int budgeted = 1; budgeted >= 0; budgeted--) {
		const std::string &line = lines[1 - budgeted];
		SCOPED_TRACE(line);
		long bytes = 0, longest = 0, defects = -1;
		char crlf[8] = "", type[32] = "", rest[200] = "";
		ASSERT_EQ(std::sscanf(line.c_str(), "%ld %ld %7s %ld %31s %199[^\n]", &bytes, &longest, crlf, &defects, type, rest),
		          6);
		EXPECT_LE(longest, 76) << "a line past 76 characters";
		EXPECT_STREQ(crlf, "True") << "a line not ended by CR LF";
		EXPECT_EQ(defects, 0);
		EXPECT_STREQ(type, "multipart/alternative");
		if (budgeted) {
			EXPECT_LE(bytes, 100000) << "past --max-bytes";
			EXPECT_GE(bytes, 90000) << "the budget's room not used";
		}
		/* Parts, subject, From, To, Date, Message-ID, text, the document,
		 * its colours, its table; the fragment itself where no budget
		 * chose otherwise. */
		EXPECT_EQ(std::string(rest), budgeted ? "True True True True True True True True True True False"
		                                      : "True True True True True True True True True True True");
	}
}

/* Runs tilery-cli directly; returns its exit status and peak memory. */
struct Measured {
	int status;
	long peakKiB;
};

Measured
CliMeasured(const std::vector<std::string> &arguments)
{
	std::vector<char *> argv{const_cast<char *>(TILERY_CLI)};
	for (const std::string &a : arguments)
		argv.push_back(const_cast<char *>(a.c_str()));
	argv.push_back(nullptr);
	posix_spawn_file_actions_t quiet;
	posix_spawn_file_actions_init(&quiet);
	posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
	pid_t child;
	const int spawned = posix_spawn(&child, TILERY_CLI, &quiet, nullptr, argv.data(), environ);
	posix_spawn_file_actions_destroy(&quiet);
	if (spawned != 0)
		return {-1, 0};
	int raw;
	struct rusage usage;
	wait4(child, &raw, 0, &usage);
	return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, usage.ru_maxrss};
}

/* A 16384 x 16384 picture (2^28 pixels, the cap itself) claimed by a
 * small file of each format whose data stop early: JPEG baseline and
 * progressive and lossless WebP made by their encoders from 8 x 8 pixels,
 * their sizes then changed; a PNG with no pixel data. */
void
MakeHugeClaims(const TempDir &dir)
{
	std::string ppm = "P6\n8 8\n255\n";
	for (int i = 0; i < 64; i++)
		ppm += {char(i * 4), char(255 - i * 4), char(i * 31)};
	WriteFile(dir.file("small.ppm"), ppm);
	const std::string small = "'" + dir.file("small.ppm") + "'";
	ASSERT_EQ(std::system(("cjpeg " + small + " >'" + dir.file("claim.jpg") + "' && cjpeg -progressive " + small +
	                       " >'" + dir.file("claim-progressive.jpg") + "' && cwebp -quiet -lossless " + small +
	                       " -o '" + dir.file("claim.webp") + "'")
	                          .c_str()),
	          0)
		<< "cjpeg or cwebp is missing (./build.sh test installs them)";
	for (const char *jpeg : {"claim.jpg", "claim-progressive.jpg"}) {
		std::string bytes = ReadFile(dir.file(jpeg));
		size_t frame = bytes.find("\xFF\xC0");
		if (frame == std::string::npos)
			frame = bytes.find("\xFF\xC2");
		ASSERT_NE(frame, std::string::npos) << jpeg;
		bytes.replace(frame + 5, 4, "\x40\x00\x40\x00"); /* height, width */
		WriteFile(dir.file(jpeg), bytes);
	}
	/* The lossless header: 14 bits of width - 1, then 14 of height - 1. */
	std::string webp = ReadFile(dir.file("claim.webp"));
	ASSERT_EQ(webp.substr(12, 4), "VP8L");
	const uint32_t size = 16383 | 16383u << 14 | (uint32_t(uint8_t(webp[24])) & 0xF0) << 24;
	for (int i = 0; i < 4; i++)
		webp[21 + i] = char(size >> (8 * i));
	WriteFile(dir.file("claim.webp"), webp);
	std::string png("\x89PNG\r\n\x1A\n", 8);
	const unsigned char header[] = {'I', 'H', 'D', 'R', 0, 0, 0x40, 0, 0, 0, 0x40, 0, 8, 2, 0, 0, 0};
	const uint32_t crc = uint32_t(crc32(0, header, sizeof header));
	png += std::string("\0\0\0\x0D", 4) + std::string(reinterpret_cast<const char *>(header), sizeof header);
	png += {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
	png += std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12);
	WriteFile(dir.file("claim.png"), png);
}

TEST(CliTest, HugeClaimsInSmallFilesCostNoMemory)
{
	TempDir dir;
	BmpFields overCap; /* 6 * 10^12 pixels */
	overCap.width = 3000000, overCap.height = 2000000, overCap.pixelData = {0, 0, 0, 0};
	BmpFields missingPixels; /* 2^28 pixels, the cap itself, but no pixel data */
	missingPixels.width = 1 << 14, missingPixels.height = 1 << 14, missingPixels.pixelData = {0, 0, 0, 0};
	BmpFields runLength = missingPixels; /* run-length coded, cut short */
	runLength.bitCount = 8, runLength.compression = 1, runLength.palette = {0xFF0000};
	runLength.pixelData = {255, 0};
	std::vector<std::string> claims;
	for (const BmpFields *fields : {&overCap, &missingPixels, &runLength}) {
		claims.push_back(dir.file("claim" + std::to_string(claims.size()) + ".bmp"));
		WriteFile(claims.back(), MakeBmp(*fields));
	}
	MakeHugeClaims(dir);
	for (const char *name : {"claim.jpg", "claim-progressive.jpg", "claim.webp", "claim.png"})
		claims.push_back(dir.file(name));
	[[maybe_unused]] const Measured baseline = CliMeasured({"--help"});
	for (const std::string &claim : claims) {
		SCOPED_TRACE(claim);
		ASSERT_LT(ReadFile(claim).size(), 1000u);
		const Measured run = CliMeasured({claim, dir.file("page.html")});
		EXPECT_EQ(run.status, 1);
#ifndef __SANITIZE_ADDRESS__ /* its shadow of a large allocation is memory, touched or not */
		EXPECT_LT(run.peakKiB, baseline.peakKiB + 16 * 1024);
#endif
		EXPECT_FALSE(FileExists(dir.file("page.html")));
	}
}

/* Permissions mean nothing to root: there the tool runs as nobody. */
std::string
AsOrdinaryUser()
{
	if (geteuid() != 0)
		return "";
	if (!getpwnam("nobody") || system("command -v setpriv >/dev/null") != 0)
		return "!";
	return "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
}

TEST(CliTest, ReadOnlyFolderAndUnreadableFileAreReportedAndNothingIsLost)
{
	const std::string prefix = AsOrdinaryUser();
	if (prefix == "!")
		GTEST_SKIP() << "running as root without setpriv or the user nobody";
	TempDir dir;
	chmod(dir.path().c_str(), 0755);
	/* A copy of the tool that the ordinary user can surely run, wherever the build lives. */
	const std::string cli = dir.file("tilery-cli");
	WriteFile(cli, ReadFile(TILERY_CLI));
	chmod(cli.c_str(), 0755);
	const std::string folder = dir.file("locked"), picture = dir.file("in.bmp"), secret = dir.file("secret.bmp");
	WriteFile(picture, MakeBmp24(1, 1, {0xFF0000}));
	WriteFile(secret, MakeBmp24(1, 1, {0xFF0000}));
	chmod(picture.c_str(), 0644);
	chmod(secret.c_str(), 0);
	ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
	WriteFile(folder + "/old.html", std::string("old page"));
	chmod(folder.c_str(), 0555);

	const std::string page = folder + "/new.html";
	std::string command = "cd / && " + prefix + "'" + cli + "' '" + picture + "' '" + page + "' 2>'" + dir.file("err") + "'";
	int raw = std::system(command.c_str());
	EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
	EXPECT_EQ(ReadFile(dir.file("err")), "tilery: ファイルオープン失敗[" + page + "]\n");
	EXPECT_FALSE(FileExists(page));
	EXPECT_EQ(ReadFile(folder + "/old.html"), "old page");

	const std::string output = dir.file("out.html");
	WriteFile(output, std::string("keep me"));
	chmod(output.c_str(), 0666);
	command = "cd / && " + prefix + "'" + cli + "' '" + secret + "' '" + output + "' 2>'" + dir.file("err") + "'";
	raw = std::system(command.c_str());
	EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
	EXPECT_EQ(ReadFile(dir.file("err")), "tilery: ファイルオープン失敗[" + secret + "]\n");
	EXPECT_EQ(ReadFile(output), "keep me");
}

/* What the user may not write is refused; what the user may write but does
 * not own (a page in a sticky folder like /tmp, a page of another group)
 * is written in place, keeping its owner and group. */
TEST(CliTest, PagesAreWrittenOnlyAsTheUserMayWriteThem)
{
	const passwd *nobody = getpwnam("nobody");
	if (geteuid() != 0 || !nobody || AsOrdinaryUser() == "!")
		GTEST_SKIP() << "files of two users need root, setpriv and the user nobody";
	TempDir dir;
	chmod(dir.path().c_str(), 0755);
	const std::string cli = dir.file("tilery-cli"), picture = dir.file("in.bmp");
	WriteFile(cli, ReadFile(TILERY_CLI));
	chmod(cli.c_str(), 0755);
	WriteFile(picture, MakeBmp24(1, 1, {0xFF0000}));
	chmod(picture.c_str(), 0644);
	const std::string own = dir.file("own"), sticky = dir.file("sticky");
	ASSERT_EQ(mkdir(own.c_str(), 0755), 0);
	ASSERT_EQ(chown(own.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
	ASSERT_EQ(mkdir(sticky.c_str(), 0755), 0);
	chmod(sticky.c_str(), 01777);

	struct Case {
		std::string page;
		uid_t owner;
		gid_t group;
		mode_t mode;
		int status;
	};
	for (const Case &c : {Case{own + "/read-only.html", nobody->pw_uid, nobody->pw_gid, 0444, 1},
	                      Case{sticky + "/roots.html", 0, 0, 0666, 0},
	                      Case{sticky + "/roots-in-the-users-group.html", 0, nobody->pw_gid, 0666, 0},
	                      Case{own + "/other-group.html", nobody->pw_uid, 0, 0664, 0}}) {
		SCOPED_TRACE(c.page);
		WriteFile(c.page, std::string("old page"));
		ASSERT_EQ(chown(c.page.c_str(), c.owner, c.group), 0);
		ASSERT_EQ(chmod(c.page.c_str(), c.mode), 0);
		const std::string command = "cd / && " + AsOrdinaryUser() + "'" + cli + "' '" + picture + "' '" + c.page +
		                            "' 2>'" + dir.file("err") + "'";
		const int raw = std::system(command.c_str());
		EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status);
		struct stat st;
		ASSERT_EQ(stat(c.page.c_str(), &st), 0);
		EXPECT_EQ(st.st_uid, c.owner);
		EXPECT_EQ(st.st_gid, c.group);
		EXPECT_EQ(st.st_mode & 07777, c.mode);
		if (c.status == 0) {
			EXPECT_EQ(ReadFile(dir.file("err")), "");
			EXPECT_EQ(ReadFile(c.page).substr(0, 8), "<HTML>\r\n");
		} else {
			EXPECT_EQ(ReadFile(dir.file("err")), "tilery: ファイルオープン失敗[" + c.page + "]\n");
			EXPECT_EQ(ReadFile(c.page), "old page");
		}
	}
	EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sticky), {}), 2) << "a file left in the sticky folder";
}

/* A picture file is refused past the size cap, named or piped. */
TEST(CliTest, StandardInputIsHeldToTheFileSizeCapToo)
{
	TempDir dir;
	Bytes large = MakeBmp24(1, 1, {0xFF0000});
	WriteFile(dir.file("large.bmp"), large);
	std::filesystem::resize_file(dir.file("large.bmp"), (uint64_t(1) << 30) + 4097);
	CliRun named = Cli(dir, "'" + dir.file("large.bmp") + "' '" + dir.file("page.html") + "'");
	EXPECT_EQ(named.status, 1);
	CliRun piped = Cli(dir, "- '" + dir.file("page.html") + "' <'" + dir.file("large.bmp") + "'");
	EXPECT_EQ(piped.status, 1);
	EXPECT_EQ(piped.err, "tilery: ファイルオープン失敗[-]\n");
	EXPECT_FALSE(FileExists(dir.file("page.html")));
}

/* ---- nothing lost: the old page stays until the new one is whole ---- */

namespace more {

std::vector<std::string>
Entries(const std::string &folder)
{
	std::vector<std::string> names;
	if (DIR *d = opendir(folder.c_str())) {
		while (dirent *e = readdir(d))
			if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
				names.push_back(e->d_name);
		closedir(d);
	}
	std::sort(names.begin(), names.end());
	return names;
}

/* Noise takes the scan long enough to be caught in the middle. */
Bytes
NoisePicture(int32_t size)
{
	std::vector<uint32_t> rgb(size_t(size) * size_t(size));
	uint32_t h = 1;
	for (uint32_t &c : rgb)
		h = h * 1103515245u + 12345u, c = (h >> 8) & 0x030303u;
	return MakeBmp24(size, size, rgb);
}

/* The tool (or another program) with standard error to a file, standard
 * input from one if named, and TMPDIR set if named. */
pid_t
Start(const std::vector<std::string> &arguments, const std::string &errors, const std::string &input = "",
      const std::string &temporaryFolder = "", const std::string &program = TILERY_CLI)
{
	std::vector<char *> argv{const_cast<char *>(program.c_str())};
	for (const std::string &a : arguments)
		argv.push_back(const_cast<char *>(a.c_str()));
	argv.push_back(nullptr);
	std::vector<std::string> variables;
	for (char **v = environ; *v; v++)
		if (std::strncmp(*v, "TMPDIR=", 7) != 0 || temporaryFolder.empty())
			variables.push_back(*v);
	if (!temporaryFolder.empty())
		variables.push_back("TMPDIR=" + temporaryFolder);
	std::vector<char *> envp;
	for (std::string &v : variables)
		envp.push_back(&v[0]);
	envp.push_back(nullptr);
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
	if (!input.empty())
		posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
	pid_t child = -1;
	if (posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
		child = -1;
	posix_spawn_file_actions_destroy(&actions);
	return child;
}

/* Waits until the process writes a new page in the folder: a file of no
 * name there, held open. */
bool
CaughtWriting(pid_t process, const std::string &folder)
{
	const std::string fds = "/proc/" + std::to_string(process) + "/fd";
	for (int i = 0; i < 20000; i++) {
		for (const std::string &fd : Entries(fds)) {
			char target[4096];
			const ssize_t n = readlink((fds + "/" + fd).c_str(), target, sizeof target - 1);
			if (n > 0 && std::string(target, size_t(n)).rfind(folder + "/#", 0) == 0)
				return true;
		}
		usleep(500);
	}
	return false;
}

} // namespace more

/* Stopped or killed outright, the tool leaves the old page, whatever the
 * length of its name, and nothing else: neither beside it nor in TMPDIR,
 * where a picture from standard input is kept, without a name. */
TEST(CliPageTest, InterruptedConversionLeavesTheOldPageAndNothingElse)
{
	TempDir dir;
	const std::string picture = dir.file("noise.bmp"), pages = dir.file("pages"), temporary = dir.file("tmp");
	WriteFile(picture, more::NoisePicture(2000));
	ASSERT_EQ(mkdir(pages.c_str(), 0700), 0);
	ASSERT_EQ(mkdir(temporary.c_str(), 0700), 0);
	const std::string longest = std::string(250, 'p') + ".html"; /* a name as long as names go */
	for (const std::string &name : {std::string("page.html"), longest}) {
		for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
			for (bool piped : {false, true}) {
				SCOPED_TRACE(name.substr(0, 10) + " " + std::to_string(signal) + (piped ? " piped" : ""));
				const std::string page = pages + "/" + name;
				WriteFile(page, std::string("old page"));
				const pid_t child = piped ? more::Start({"-", page}, dir.file("err"), picture, temporary)
				                          : more::Start({picture, page}, dir.file("err"));
				ASSERT_GT(child, 0);
				ASSERT_TRUE(more::CaughtWriting(child, pages));
				kill(child, signal);
				int raw;
				waitpid(child, &raw, 0);
				EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal);
				EXPECT_EQ(ReadFile(page), "old page");
				EXPECT_EQ(more::Entries(pages), std::vector<std::string>{name});
				if (piped) {
					EXPECT_EQ(more::Entries(temporary), std::vector<std::string>{});
				}
				std::filesystem::remove_all(temporary);
				mkdir(temporary.c_str(), 0700);
				unlink(page.c_str());
			}
		}
	}
}

/* Where no file can be made without a name (here /proc is hidden, as on
 * systems without it), the new page and the copy of standard input are
 * named files while they are written: a conversion leaves the page and
 * nothing else, and a stop takes both away, leaving the old page. */
TEST(CliPageTest, NamedNewFilesAreRemovedWhenTheToolIsStopped)
{
#ifdef __SANITIZE_ADDRESS__
	GTEST_SKIP() << "a sanitizer's runtime reads its options and its threads through /proc, hidden here";
#endif
	if (std::system("unshare --mount sh -c 'mount -t tmpfs none /proc' 2>/dev/null") != 0)
		GTEST_SKIP() << "no mount namespace to hide /proc in (unshare --mount needs root)";
	TempDir dir;
	const std::string picture = dir.file("noise.bmp"), pages = dir.file("pages"), page = pages + "/page.html",
	                  temporary = dir.file("tmp");
	WriteFile(picture, more::NoisePicture(2000));
	ASSERT_EQ(mkdir(pages.c_str(), 0700), 0);
	ASSERT_EQ(mkdir(temporary.c_str(), 0700), 0);
	const std::string hidden = "unshare --mount sh -c 'mount -t tmpfs none /proc && exec \"$0\" \"$@\"' '" +
	                           std::string(TILERY_CLI) + "' '" + picture + "' '" + page + "'";
	ASSERT_EQ(std::system(hidden.c_str()), 0);
	Cli(dir, "'" + picture + "' '" + dir.file("usual.html") + "'");
	EXPECT_TRUE(ReadFile(page) == ReadFile(dir.file("usual.html"))) << "the page differs";
	EXPECT_EQ(more::Entries(pages), std::vector<std::string>{"page.html"});

	for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
		SCOPED_TRACE(signal);
		WriteFile(page, std::string("old page"));
		const pid_t child = more::Start({"--mount", "sh", "-c",
		                                 "mount -t tmpfs none /proc && TMPDIR='" + temporary + "' exec '" +
		                                     TILERY_CLI + "' - '" + page + "' <'" + picture + "'"},
		                                dir.file("err"), "", "", "unshare");
		ASSERT_GT(child, 0);
		/* Caught with its name, while it grows. */
		bool caught = false;
		for (int i = 0; i < 20000 && !caught; i++, usleep(500))
			for (const std::string &name : more::Entries(pages)) {
				struct stat st;
				caught = caught || (name.rfind(".tilery-", 0) == 0 && stat((pages + "/" + name).c_str(), &st) == 0 &&
				                    st.st_size > 0);
			}
		ASSERT_TRUE(caught) << "the named new page was never seen";
		EXPECT_FALSE(more::Entries(temporary).empty()) << "the copy of standard input is not named";
		kill(child, signal);
		int raw;
		waitpid(child, &raw, 0);
		EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal);
		EXPECT_EQ(ReadFile(page), "old page");
		EXPECT_EQ(more::Entries(pages), std::vector<std::string>{"page.html"});
		EXPECT_EQ(more::Entries(temporary), std::vector<std::string>{});
	}
}

TEST(CliPageTest, FailedWritesKeepTheOldPage)
{
	TempDir dir;
	const std::string picture = dir.file("noise.bmp"), pages = dir.file("pages"), page = pages + "/page.html";
	WriteFile(picture, more::NoisePicture(300));
	ASSERT_EQ(mkdir(pages.c_str(), 0700), 0);

	/* A disk that fills up: files may grow to 64 KiB only. */
	WriteFile(page, std::string("old page"));
	const std::string command = "ulimit -f 64 && trap '' XFSZ && exec '" + std::string(TILERY_CLI) + "' '" + picture +
	                            "' '" + page + "' 2>'" + dir.file("err") + "'";
	int raw = std::system(command.c_str());
	EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
	EXPECT_EQ(ReadFile(dir.file("err")), "tilery: ファイル書込失敗[" + page + "]\n");
	EXPECT_EQ(ReadFile(page), "old page");
	EXPECT_EQ(more::Entries(pages), std::vector<std::string>{"page.html"});

	/* A reader that leaves early: a write failure, not a silent death. */
	const std::string stdoutPage = "'" + std::string(TILERY_CLI) + "' '" + picture + "' /dev/stdout 2>'" +
	                               dir.file("err") + "'; echo $? >'" + dir.file("status") + "'";
	raw = std::system(("(" + stdoutPage + ") | head -c 10 >/dev/null").c_str());
	EXPECT_EQ(ReadFile(dir.file("status")), "1\n");
	EXPECT_EQ(ReadFile(dir.file("err")), "tilery: ファイル書込失敗[/dev/stdout]\n");

	/* The folder taken away in the middle: nowhere to put the page. */
	WriteFile(picture, more::NoisePicture(2000));
	const pid_t child = more::Start({picture, page}, dir.file("err"));
	ASSERT_GT(child, 0);
	ASSERT_TRUE(more::CaughtWriting(child, pages));
	std::filesystem::remove_all(pages);
	waitpid(child, &raw, 0);
	EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
	EXPECT_EQ(ReadFile(dir.file("err")), "tilery: ファイル書込失敗[" + page + "]\n");
}

TEST(CliPageTest, TwoConversionsToOnePageLeaveOneWholePage)
{
	TempDir dir;
	const std::string a = dir.file("a.bmp"), b = dir.file("b.bmp"), page = dir.file("page.html");
	WriteFile(a, more::NoisePicture(600));
	std::vector<uint32_t> flat(600 * 600, 0x123456);
	WriteFile(b, MakeBmp24(600, 600, flat));
	ASSERT_EQ(Cli(dir, "'" + a + "' '" + dir.file("a.html") + "'").status, 0);
	ASSERT_EQ(Cli(dir, "'" + b + "' '" + dir.file("b.html") + "'").status, 0);
	for (int round = 0; round < 3; round++) {
		const pid_t first = more::Start({a, page}, dir.file("err1")), second = more::Start({b, page}, dir.file("err2"));
		int raw1, raw2;
		waitpid(first, &raw1, 0);
		waitpid(second, &raw2, 0);
		EXPECT_TRUE(WIFEXITED(raw1) && WEXITSTATUS(raw1) == 0 && WIFEXITED(raw2) && WEXITSTATUS(raw2) == 0);
		const std::string written = ReadFile(page);
		EXPECT_TRUE(written == ReadFile(dir.file("a.html")) || written == ReadFile(dir.file("b.html")))
			<< "a mixture of two pages, " << written.size() << " bytes";
	}
}

} // namespace
