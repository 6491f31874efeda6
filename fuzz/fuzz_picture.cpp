/* libFuzzer target: arbitrary bytes as a picture file (BMP, PNG, GIF or
 * netpbm, recognised by the first bytes), through the reader
 * and then the whole conversion, into a page on disk or into a pipe whose
 * reader leaves after a number of bytes taken from the input. */
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "convert/convert.h"
#include "picture/picture.h"
#include "fuzz_limits.h"
#include "system/message_box.h"

static std::string g_folder, g_input, g_output;
static int g_notices;
static std::string g_lastNotice;

static int
Count(WindowHandle, const char *text, const char *, unsigned)
{
	g_notices++;
	g_lastNotice = text;
	return IDOK;
}

static void
RemoveFolder(void)
{
	std::error_code ignored;
	std::filesystem::remove_all(g_folder, ignored);
}

extern "C" int
LLVMFuzzerInitialize(int *, char ***)
{
	SetMessageBoxPresenter(Count);
	/* The target holds two decoded copies under AddressSanitizer; smaller
	 * limits keep any input within its memory, and inputs still reach the
	 * checks that refuse pictures past them. */
	if (SetPictureLimits(FUZZ_PICTURE_LIMITS) != 0)
		std::abort();
	signal(SIGPIPE, SIG_IGN);
	const char *base = std::getenv("TMPDIR");
	std::string pattern = std::string(base && *base ? base : "/tmp") + "/tilery-fuzz-XXXXXX";
	if (!mkdtemp(pattern.data()))
		std::abort();
	g_folder = pattern;
	g_input = g_folder + "/picture";
	g_output = g_folder + "/page.html";
	std::atexit(RemoveFolder);
	return 0;
}

/* Reads `limit` bytes of the page, then leaves: the writer's next write fails. */
static void
ReadThenLeave(int fd, size_t limit)
{
	char buffer[1 << 16];
	size_t taken = 0;
	while (taken < limit) {
		const ssize_t n = read(fd, buffer, std::min(sizeof buffer, limit - taken));
		if (n <= 0)
			break;
		taken += size_t(n);
	}
	close(fd);
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	DecodedPicture picture;
	const bool decoded = DecodePicture(PictureSource{size, data, -1}, &picture) == nullptr;
	if (decoded && picture.pixels.size() != size_t(picture.width) * size_t(picture.height))
		__builtin_trap();

	FILE *file = std::fopen(g_input.c_str(), "wb");
	if (!file)
		return 0;
	const bool written = std::fwrite(data, 1, size, file) == size;
	if (std::fclose(file) != 0 || !written)
		return 0;

	g_notices = 0;
	g_lastNotice.clear();
	const int cellSize = 1 + int(size % 3);
	/* Every other input goes to a reader that leaves after a few bytes. */
	int pipeEnds[2];
	if (size % 2 && pipe(pipeEnds) == 0) {
		const size_t limit = size ? size_t(data[size - 1]) * 97 : 0;
		std::thread reader(ReadThenLeave, pipeEnds[0], limit);
		const std::string page = "/dev/fd/" + std::to_string(pipeEnds[1]);
		const int result = ConvertBitmapToTable(g_input.c_str(), page.c_str(), cellSize);
		close(pipeEnds[1]);
		reader.join();
		/* Success only for a picture that decodes; a failure is told once. */
		if ((result == 0 && !decoded) || result == -1 || (result != 0) != (g_notices == 1))
			__builtin_trap();
		/* A picture that decodes can fail only on the page, opened or written. */
		if (result != 0 && decoded && g_lastNotice != "ファイル書込失敗[" + page + "]" &&
		    g_lastNotice != "ファイルオープン失敗[" + page + "]")
			__builtin_trap();
		return 0;
	}
	const int result = ConvertBitmapToTable(g_input.c_str(), g_output.c_str(), cellSize);
	/* The conversion reads the file as the reader did: both accept or both refuse. */
	if ((result == 0) != decoded || (result != 0 && g_notices != 1))
		__builtin_trap();
	return 0;
}
