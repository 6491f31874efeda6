#include "system/notice.h"

#include <gtest/gtest.h>

#include <string>

#include "notice_recorder.h"

namespace {

TEST(ShowNoticeTest, PassesOwnerCaptionAndStyleAndReturnsTheButton)
{
	NoticeRecorder recorder;
	int owner;
	EXPECT_EQ(ShowNotice(&owner, APP_TITLE, MB_ICONEXCLAMATION, "ファイル名が入力されていない訳で。"), IDOK);
	ASSERT_EQ(recorder.notices().size(), 1u);
	const RecordedNotice &n = recorder.notices()[0];
	EXPECT_EQ(n.owner, &owner);
	EXPECT_EQ(n.caption, "tilery");
	EXPECT_EQ(n.style, MB_ICONEXCLAMATION);
	EXPECT_EQ(n.text, "ファイル名が入力されていない訳で。");
}

TEST(ShowNoticeTest, PathsAreShownAsTypedPercentSignsIncluded)
{
	NoticeRecorder recorder;
	ShowNotice(nullptr, APP_TITLE, MB_OK, "%s 作成完了", "a.html");
	ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", "100%s %n %d.bmp");
	ASSERT_EQ(recorder.notices().size(), 2u);
	EXPECT_EQ(recorder.notices()[0].text, "a.html 作成完了");
	EXPECT_EQ(recorder.notices()[1].text, "ファイルオープン失敗[100%s %n %d.bmp]");
}

TEST(ShowNoticeTest, LongestPathIsShownWholeNotCut)
{
	NoticeRecorder recorder;
	const std::string path = "/" + std::string(1021, 'p') + "Z";
	ASSERT_EQ(path.size(), 1023u);
	ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", path.c_str());
	ShowNotice(nullptr, APP_TITLE, MB_OK, "%s 作成完了", path.c_str());
	ASSERT_EQ(recorder.notices().size(), 2u);
	EXPECT_EQ(recorder.notices()[0].text, "ファイルオープン失敗[" + path + "]");
	EXPECT_EQ(recorder.notices()[1].text, path + " 作成完了");
}

TEST(ShowNoticeTest, WithoutPresenterTheTextGoesToStandardError)
{
	testing::internal::CaptureStderr();
	ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "CreateDC 失敗[%d]", 12);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "tilery: CreateDC 失敗[12]\n");
}

} // namespace
