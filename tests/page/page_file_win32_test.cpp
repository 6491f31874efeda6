/* The page file on Windows: read-only pages, one file by several names,
 * devices, and names outside the system's code page. */
#include "platform/win32.h"

#include "convert_fixture.h"
#include "system/path.h"

namespace {

std::wstring
Wide(const std::string &path)
{
	return Widen(path.c_str());
}

const std::string ONE_RED_PIXEL = HEAD + "<TR><TD width=10 height=10 bgcolor=#ff0000></TD></TR>\r\n" + TAIL;

TEST_F(ConvertTest, AReadOnlyPageIsRefusedAndKept)
{
	WriteFile(input, MakeBmp24(1, 1, {R}));
	WriteFile(output, std::string("old page"));
	ASSERT_TRUE(SetFileAttributesW(Wide(output).c_str(), FILE_ATTRIBUTE_READONLY));
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), 10), 1);
	ExpectOneNotice("ファイルオープン失敗[" + output + "]");
	EXPECT_EQ(ReadFile(output), "old page");
	EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"in.bmp", "out.html"}));
	SetFileAttributesW(Wide(output).c_str(), FILE_ATTRIBUTE_NORMAL);
}

/* A page is reported by the full path it was written to: D:page.html is
 * a page in drive D's working folder. */
TEST(PathTest, APageIsReportedByItsFullPath)
{
	wchar_t folder[MAX_PATH];
	ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, folder), 0u);
	const std::string here = Narrow(folder);
	char reported[4096];
	ReportedPath((here.substr(0, 2) + "page.html").c_str(), reported, sizeof reported);
	EXPECT_EQ(std::string(reported), here + (here.back() == '\\' ? "" : "\\") + "page.html");
	ReportedPath("C:\\a\\..\\b/page.html", reported, sizeof reported);
	EXPECT_EQ(std::string(reported), "C:\\b\\page.html");
}

/* By its own name, another spelling of it, or a hard link. */
TEST_F(ConvertTest, APictureNamedAsItsOwnPageIsRefusedByAnyName)
{
	const Bytes picture = MakeBmp24(1, 1, {R});
	WriteFile(input, picture);
	ASSERT_TRUE(CreateHardLinkW(Wide(dir.file("hard.html")).c_str(), Wide(input).c_str(), nullptr));
	std::string backslashed = input;
	for (char &c : backslashed)
		if (c == '/')
			c = '\\';
	for (const std::string &page : {input, backslashed, dir.path() + "/./IN.BMP", dir.file("hard.html")})
		ExpectPictureRefusedAsPage(page, picture);
}

/* NUL takes the page as it comes; a page on disk is replaced by a whole
 * new one, and nothing else is left in its folder. */
TEST_F(ConvertTest, DevicesAreWrittenDirectlyAndPagesReplacedWhole)
{
	WriteFile(input, MakeBmp24(1, 1, {R}));
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), "NUL", 10), 0);
	WriteFile(output, std::string(100000, 'x'));
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), 10), 0);
	EXPECT_EQ(ReadFile(output), ONE_RED_PIXEL);
	EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"in.bmp", "out.html"}));
	EXPECT_TRUE(recorder.notices().empty());
}

/* A replaced page keeps its attributes; the new file, hidden while it is
 * written, is not hidden once it is the page. "D:page.html" is a page in
 * drive D's working folder, not a stream of a file ".D". */
TEST_F(ConvertTest, APageKeepsItsAttributesAndADriveRelativePathIsAPage)
{
	WriteFile(input, MakeBmp24(1, 1, {R}));
	WriteFile(output, std::string("old page"));
	ASSERT_TRUE(SetFileAttributesW(Wide(output).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
	EXPECT_EQ(ConvertBitmapToTable(input.c_str(), output.c_str(), 10), 0);
	EXPECT_EQ(ReadFile(output), ONE_RED_PIXEL);
	EXPECT_EQ(GetFileAttributesW(Wide(output).c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
	          DWORD(FILE_ATTRIBUTE_HIDDEN));
	ASSERT_TRUE(SetFileAttributesW(Wide(output).c_str(), FILE_ATTRIBUTE_NORMAL));

	wchar_t before[MAX_PATH];
	ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, before), 0u);
	ASSERT_TRUE(SetCurrentDirectoryW(Wide(dir.path()).c_str()));
	const std::string page = dir.path().substr(0, 2) + "drive-relative.html";
	const int result = ConvertBitmapToTable(input.c_str(), page.c_str(), 10);
	SetCurrentDirectoryW(before);
	EXPECT_EQ(result, 0);
	EXPECT_EQ(ReadFile(dir.file("drive-relative.html")), ONE_RED_PIXEL);
	EXPECT_EQ(GetFileAttributesW(Wide(dir.file("drive-relative.html")).c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
	EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"drive-relative.html", "in.bmp", "out.html"}));
	EXPECT_TRUE(recorder.notices().empty());
}

/* Japanese, Greek and a character past the Basic Multilingual Plane: none
 * of them in the system's code page, and % signs that are no format. */
TEST_F(ConvertTest, NamesOutsideTheSystemCodePageWork)
{
	const std::string folder = dir.file("日本語 Ελληνικά \xF0\x9F\x96\xBC");
	ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
	const std::string picture = folder + "/絵 100%s.bmp", page = folder + "/ページ %n.html";
	WriteFile(picture, MakeBmp24(1, 1, {R}));
	EXPECT_EQ(ConvertBitmapToTable(picture.c_str(), page.c_str(), 10), 0);
	EXPECT_EQ(ReadFile(page), ONE_RED_PIXEL);
	const std::string missing = folder + "/無い.bmp";
	EXPECT_EQ(ConvertBitmapToTable(missing.c_str(), page.c_str(), 10), 1);
	ExpectOneNotice("ファイルオープン失敗[" + missing + "]");
}

} // namespace
