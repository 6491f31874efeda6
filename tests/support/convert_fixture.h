#ifndef TILERY_TESTS_CONVERT_FIXTURE_H
#define TILERY_TESTS_CONVERT_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bmp_writer.h"
#include "convert/convert.h"
#include "page/cell_rect.h"
#include "failing_malloc.h"
#include "notice_recorder.h"
#include "test_files.h"

/* Conversions in a folder of their own, their notices recorded. */

/* The head of a page whose picture is `width` pixels wide. */
inline std::string
Head(int64_t width, int cellSize)
{
	return "<HTML>\r\n<HEAD><TITLE>"
	       "\x82\xC8\x82\xBA\x90\x65\x95\x83\x8F\x4C\x82\xAA\x82\xB7\x82\xE9\x82\xCC\x82\xBE"
	       "</TITLE><STYLE>TABLE{table-layout:fixed;width:" + std::to_string(width * cellSize) +
	       "px}TR{height:" + std::to_string(cellSize) + "px}TD{height:auto}</STYLE></HEAD>\r\n"
	       "<BODY>\r\n<TABLE border=0 cellspacing=0 cellpadding=0>\r\n";
}
inline const std::string HEAD = Head(1, 10); /* one pixel wide, cell size 10 */
inline const std::string TAIL = "</TABLE>\r\n</BODY>\r\n</HTML>\r\n";

constexpr uint32_t R = 0xFF0000, W = 0xFFFFFF;

class ConvertTest : public ::testing::Test {
protected:
	TempDir dir;
	NoticeRecorder recorder;
	std::string input = dir.file("in.bmp");
	std::string output = dir.file("out.html");

	void TearDown() override
	{
		StopFailingMalloc();
		EXPECT_EQ(g_cellRectHead, nullptr) << "the covered-cell list must be empty after a run";
	}

	/* Converts a picture given top row first as 0x00RRGGBB; returns the page. */
	std::string Page(int32_t width, int32_t height, const std::vector<uint32_t> &rgb, int cellSize = 10)
	{
		WriteFile(input, MakeBmp24(width, height, rgb));
		EXPECT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), cellSize), 0);
		EXPECT_TRUE(recorder.notices().empty());
		return ReadFile(output);
	}

	std::string Rows(int32_t width, int32_t height, const std::vector<uint32_t> &rgb, int cellSize = 10)
	{
		std::string page = Page(width, height, rgb, cellSize);
		const std::string head = Head(width, cellSize);
		EXPECT_EQ(page.substr(0, head.size()), head);
		EXPECT_GE(page.size(), head.size() + TAIL.size());
		EXPECT_EQ(page.substr(page.size() - TAIL.size()), TAIL);
		return page.substr(head.size(), page.size() - head.size() - TAIL.size());
	}

	/* The picture at input, named as its own page, is refused and kept. */
	void ExpectPictureRefusedAsPage(const std::string &page, const Bytes &picture)
	{
		SCOPED_TRACE(page);
		NoticeRecorder fresh;
		EXPECT_EQ(ConvertBitmapToTable(input.c_str(), page.c_str(), 10), 1);
		ASSERT_EQ(fresh.notices().size(), 1u);
		EXPECT_EQ(fresh.notices()[0].text, "ファイルオープン失敗[" + page + "]");
		EXPECT_EQ(ReadFile(input), std::string(picture.begin(), picture.end()));
	}

	void ExpectOneNotice(const std::string &text)
	{
		ASSERT_EQ(recorder.notices().size(), 1u);
		const RecordedNotice &n = recorder.notices()[0];
		EXPECT_EQ(n.text, text);
		EXPECT_EQ(n.caption, "tilery");
		EXPECT_EQ(n.style, 16u);
		EXPECT_EQ(n.owner, nullptr);
	}
};

#endif
