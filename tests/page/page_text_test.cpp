/* Pages without CSS, fragments for a mail and messages: short lines
 * whatever the cells (the widest numbers and spans there are) and the text
 * for screen readers, as a quoted-printable encoder sends them, broken
 * only between cells and rows, and the table still drawing the picture
 * cell for cell. */
#include "convert_fixture.h"

#include <cstdlib>
#include <random>

#include "page_drawing.h"

namespace {

/* Every line ends in CR LF and begins a row, a cell, a row's end or the
 * document's own text: lines are broken between tags only, but for the
 * TABLE's start tag, whose text for screen readers may take lines. */
void
ExpectLinesBrokenBetweenTags(const std::string &page)
{
	size_t at = 0, lines = 0;
	bool inTable = false;
	while (at < page.size()) {
		const size_t end = page.find("\r\n", at);
		ASSERT_NE(end, std::string::npos) << "a line without CR LF at " << at;
		const std::string line = page.substr(at, end - at);
		bool known = inTable;
		for (const char *start : {"<TR>", "<TD", "</TR>", "<TABLE ", "</TABLE>", "<HTML>", "<HEAD>", "<TITLE>", "<META",
		                          "<BODY>", "</BODY>", "</HTML>"})
			known = known || line.rfind(start, 0) == 0;
		EXPECT_TRUE(known) << "a line broken inside a tag: " << line;
		inTable = (inTable || line.rfind("<TABLE ", 0) == 0) && line.back() != '>';
		at = end + 2;
		lines++;
	}
	EXPECT_GT(lines, 2u);
}

/* The files among these that Python's quoted-printable encoder (quopri,
 * as mail libraries encode) sends with a soft line break, where a line
 * passes 76 characters as sent, or that do not decode to themselves. */
std::string
SentWithSoftBreaks(const std::vector<std::string> &files, const TempDir &dir)
{
	std::string list;
	for (const std::string &file : files)
		list += file + "\n";
	WriteFile(dir.file("pages"), list);
	WriteFile(dir.file("soft.py"), std::string("import email, quopri, sys\n"
	                                           "for name in open(sys.argv[1]).read().split('\\n')[:-1]:\n"
	                                           "    page = open(name, 'rb').read()\n"
	                                           "    if name.endswith('.eml'):\n"
	                                           "        parts = list(email.message_from_bytes(page).walk())\n"
	                                           "        page = parts[-1].get_payload(decode=True)\n"
	                                           "    sent = quopri.encodestring(page)\n"
	                                           "    if b'=\\r\\n' in sent or quopri.decodestring(sent) != page:\n"
	                                           "        print(name)\n"));
	const std::string command = "/usr/bin/python3 '" + dir.file("soft.py") + "' '" + dir.file("pages") + "' >'" +
	                            dir.file("soft") + "'";
	if (std::system(command.c_str()) != 0)
		return "python3 failed";
	return ReadFile(dir.file("soft"));
}

TEST_F(ConvertTest, PagesWithoutCssKeepShortLinesAndDrawThePicture)
{
	struct Picture {
		int32_t width, height;
		int cellSize;
		std::vector<uint32_t> rgb;
	};
	std::mt19937 random(76);
	std::vector<Picture> pictures;
	/* Runs past the longest span; the largest cell size. */
	Picture wide{1500, 3, 3, {}};
	for (int32_t i = 0; i < 1500 * 3; i++)
		wide.rgb.push_back(i / 1500 == 1 && i % 1500 % 700 == 5 ? W : R);
	Picture tall{2, 1200, 7, std::vector<uint32_t>(2 * 1200, 0x123456)};
	pictures.push_back(wide);
	pictures.push_back(tall);
	pictures.push_back(Picture{3, 2, 999, {R, R, W, R, R, R}});
	for (int round = 0; round < 20; round++) {
		Picture p{1 + int32_t(random() % 40), 1 + int32_t(random() % 30), 1 + int(random() % 99), {}};
		for (int32_t i = 0; i < p.width * p.height; i++)
			p.rgb.push_back(i >= p.width && random() % 3 ? p.rgb[size_t(i - p.width)] : random() % 5 * 0x332211);
		pictures.push_back(p);
	}
	/* Screen readers' text long enough to take lines, & < " and Japanese. */
	const char *const alts[] = {nullptr, "A cat & a mat, \"< 3\", 猫とマットの写真です。 It takes more than one line, "
	                                     "as some descriptions do, long words and all: Donaudampfschifffahrt"};
	std::vector<std::string> pages;
	for (const Picture &p : pictures) {
		WriteFile(input, MakeBmp24(p.width, p.height, p.rgb));
		/* The message's HTML is checked as sent; its table is the fragment's. */
		PageOptions message = DEFAULT_PAGE_OPTIONS;
		message.message = message.noCss = true;
		message.alt = alts[pages.size() % 2];
		pages.push_back(dir.file("message-" + std::to_string(pages.size()) + ".eml"));
		ASSERT_EQ(ConvertPicture(input.c_str(), pages.back().c_str(), p.cellSize, message, nullptr), 0);
		for (bool fragment : {false, true}) {
			SCOPED_TRACE(testing::Message() << p.width << "x" << p.height << " at " << p.cellSize
			                                << (fragment ? ", fragment" : ", without CSS"));
			PageOptions options = DEFAULT_PAGE_OPTIONS;
			options.noCss = true;
			options.fragment = fragment;
			options.alt = alts[pages.size() % 2];
			ASSERT_EQ(ConvertPicture(input.c_str(), output.c_str(), p.cellSize, options, nullptr), 0);
			const std::string page = ReadFile(output);
			ExpectLinesBrokenBetweenTags(page);
			pages.push_back(dir.file("page-" + std::to_string(pages.size()) + ".html"));
			WriteFile(pages.back(), page);
			const Drawing drawn = DrawTable(page);
			ASSERT_EQ(drawn.width, int64_t(p.width) * p.cellSize);
			ASSERT_EQ(drawn.height, int64_t(p.height) * p.cellSize);
			long wrong = 0;
			for (int64_t y = 0; y < drawn.height; y += p.cellSize)
				for (int64_t x = 0; x < drawn.width; x += p.cellSize)
					wrong += drawn.at(x, y) != p.rgb[size_t(y / p.cellSize) * size_t(p.width) + size_t(x / p.cellSize)];
			EXPECT_EQ(wrong, 0);
		}
	}
	EXPECT_EQ(SentWithSoftBreaks(pages, dir), "") << "sent with a soft line break";
	EXPECT_TRUE(recorder.notices().empty());
}

} // namespace
