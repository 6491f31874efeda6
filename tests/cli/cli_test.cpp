#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

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

const char USAGE[] = "usage: tilery-cli INPUT OUTPUT [CELL_SIZE]  (CELL_SIZE 1-999, default 1)\n";

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

TEST(CliTest, FailuresAreNoticesOnStandardErrorWithStatusOne)
{
	TempDir dir;
	CliRun run = Cli(dir, "'" + dir.file("none.bmp") + "' '" + dir.file("out.html") + "'");
	EXPECT_EQ(run.status, 1);
	EXPECT_EQ(run.err, "tilery: ファイルオープン失敗[" + dir.file("none.bmp") + "]\n");
	EXPECT_FALSE(FileExists(dir.file("out.html")));
}

TEST(CliTest, WrongArgumentsPrintTheUsageWithStatusTwo)
{
	TempDir dir;
	for (const char *arguments : {"", "a.bmp", "a.bmp b.html 0", "a.bmp b.html 1000", "a.bmp b.html x",
	                              "a.bmp b.html ' 5'", "a.bmp b.html -5", "a.bmp b.html 5 6"}) {
		SCOPED_TRACE(arguments);
		CliRun run = Cli(dir, arguments);
		EXPECT_EQ(run.status, 2);
		EXPECT_EQ(run.out, "");
		EXPECT_EQ(run.err, USAGE);
	}
	CliRun help = Cli(dir, "--help");
	EXPECT_EQ(help.status, 0);
	EXPECT_EQ(help.out, USAGE);
	EXPECT_EQ(help.err, "");
}

} // namespace
