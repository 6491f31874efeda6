/* The page file on POSIX systems: FIFOs, devices, links, permission bits,
 * and names that are bytes rather than text. */
#include <sys/stat.h>
#include <unistd.h>

#include "convert_fixture.h"

namespace {

TEST_F(ConvertTest, FullDiskIsAWriteFailureNeverASuccess)
{
	if (!FileExists("/dev/full"))
		GTEST_SKIP() << "/dev/full is missing";
	WriteFile(input, MakeBmp24(1, 1, {R}));
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), "/dev/full", 10), 1);
	ExpectOneNotice("ファイル書込失敗[/dev/full]");
}

TEST_F(ConvertTest, FullDiskStopsALargePictureEarly)
{
	if (!FileExists("/dev/full"))
		GTEST_SKIP() << "/dev/full is missing";
	std::vector<uint32_t> stripes(200 * 400);
	for (size_t i = 0; i < stripes.size(); i++)
		stripes[i] = i % 2 ? R : W;
	WriteFile(input, MakeBmp24(200, 400, stripes));
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), "/dev/full", 1), 1);
	ExpectOneNotice("ファイル書込失敗[/dev/full]");
}

TEST_F(ConvertTest, InputsThatAreNoPictureFailWithoutHanging)
{
	WriteFile(output, std::string("keep me"));
	WriteFile(dir.file("empty.bmp"), std::string());
	ASSERT_EQ(mkfifo(dir.file("fifo.bmp").c_str(), 0600), 0);
	for (const std::string &bad : {dir.file("empty.bmp"), dir.file("fifo.bmp")}) {
		SCOPED_TRACE(bad);
		NoticeRecorder fresh;
		/* A FIFO nobody writes to would block a plain open for ever. */
		EXPECT_EQ(ConvertBitmapToTable(bad.c_str(), output.c_str(), 10), 1);
		ASSERT_EQ(fresh.notices().size(), 1u);
		EXPECT_EQ(fresh.notices()[0].text, "ファイルオープン失敗[" + bad + "]");
		EXPECT_EQ(ReadFile(output), "keep me");
	}
}

TEST_F(ConvertTest, APictureNamedAsItsOwnPageIsRefusedAndKept)
{
	const Bytes picture = MakeBmp24(1, 1, {R});
	WriteFile(input, picture);
	ASSERT_EQ(symlink(input.c_str(), dir.file("link.html").c_str()), 0);
	ASSERT_EQ(link(input.c_str(), dir.file("hard.html").c_str()), 0);
	for (const std::string &page : {input, dir.file("link.html"), dir.file("hard.html"), dir.path() + "/./in.bmp"})
		ExpectPictureRefusedAsPage(page, picture);
}

/* The new page takes the old one's place, its permission bits, and stays
 * behind a symbolic link; nothing else is left in the folder. */
TEST_F(ConvertTest, ThePageReplacesTheOldOneInPlace)
{
	WriteFile(input, MakeBmp24(1, 1, {R}));
	const std::string expected = HEAD + "<TR><TD width=10 height=10 bgcolor=#ff0000></TD></TR>\r\n" + TAIL;
	WriteFile(output, std::string("old"));
	ASSERT_EQ(chmod(output.c_str(), 0604), 0);
	ASSERT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), 10), 0);
	struct stat st;
	ASSERT_EQ(stat(output.c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 07777, 0604u);
	EXPECT_EQ(ReadFile(output), expected);

	const std::string linked = dir.file("linked.html");
	ASSERT_EQ(symlink("out.html", linked.c_str()), 0);
	WriteFile(output, std::string("old"));
	ASSERT_EQ(ConvertBitmapToTable(input.c_str(), linked.c_str(), 10), 0);
	ASSERT_EQ(lstat(linked.c_str(), &st), 0);
	EXPECT_TRUE(S_ISLNK(st.st_mode));
	EXPECT_EQ(ReadFile(output), expected);

	EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"in.bmp", "linked.html", "out.html"}));
}

TEST_F(ConvertTest, AFifoThatNoOneReadsCannotBeOpened)
{
	WriteFile(input, MakeBmp24(1, 1, {R}));
	const std::string fifo = dir.file("fifo.html");
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), fifo.c_str(), 10), 1);
	ExpectOneNotice("ファイルオープン失敗[" + fifo + "]");
}

TEST_F(ConvertTest, PathsWithPercentSignsAndBytesThatAreNotUtf8AreTakenAsTheyAre)
{
	const std::string in = dir.file("100%s%n%d.bmp"), out = dir.file("\xff\xfe%n page.html");
	WriteFile(in, MakeBmp24(1, 1, {R}));
	EXPECT_EQ(ConvertBitmapToTable(in.c_str(), out.c_str(), 10), 0);
	EXPECT_EQ(ReadFile(out), HEAD + "<TR><TD width=10 height=10 bgcolor=#ff0000></TD></TR>\r\n" + TAIL);

	const std::string missing = dir.file("%s%n\xff.bmp");
	EXPECT_EQ(ConvertBitmapToTable(missing.c_str(), out.c_str(), 10), 1);
	ExpectOneNotice("ファイルオープン失敗[" + missing + "]");
}

TEST_F(ConvertTest, PathsOfTheLongestLengthWork)
{
	/* Folders of 200 bytes down to a path of exactly 1023 bytes. */
	std::string folder = dir.path();
	while (folder.size() + 201 < 1023 - 10) {
		folder += "/" + std::string(200, 'f');
		ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
	}
	auto named = [&](char c) {
		std::string path = folder + "/";
		path += std::string(1023 - path.size(), c);
		return path;
	};
	const std::string in = named('i'), out = named('o'), missing = named('m');
	ASSERT_EQ(in.size(), 1023u);
	WriteFile(in, MakeBmp24(1, 1, {R}));
	EXPECT_EQ(ConvertBitmapToTable(in.c_str(), out.c_str(), 10), 0);
	EXPECT_TRUE(FileExists(out));
	EXPECT_EQ(ConvertBitmapToTable(missing.c_str(), out.c_str(), 10), 1);
	ExpectOneNotice("ファイルオープン失敗[" + missing + "]");
}

} // namespace
