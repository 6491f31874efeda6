/* libFuzzer target: arbitrary bytes as a BMP file, through the reader and
 * then the whole conversion into a page on disk. */
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "convert/bmp_reader.h"
#include "convert/convert.h"
#include "platform/message_box.h"

/* Pictures up to the size cap are valid, but a 1 GiB picture per input
 * would slow the search to a crawl; larger claims are left to the tests. */
constexpr int64_t MAX_FUZZED_PIXELS = int64_t(1) << 22;

static std::string g_input, g_output;

static int
Silent(WindowHandle, const char *, const char *, unsigned)
{
	return IDOK;
}

static int64_t
ClaimedPixels(const uint8_t *data, size_t size)
{
	if (size < 26)
		return 0;
	auto u16 = [&](size_t at) { return int64_t(data[at] | data[at + 1] << 8); };
	auto i32 = [&](size_t at) {
		return int64_t(int32_t(uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 |
		                       uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 3]) << 24));
	};
	if (data[14] == 12 && data[15] == 0 && data[16] == 0 && data[17] == 0)
		return u16(18) * u16(20);
	return std::llabs(i32(18)) * std::llabs(i32(22));
}

extern "C" int
LLVMFuzzerInitialize(int *, char ***)
{
	SetMessageBoxPresenter(Silent);
	const char *base = std::getenv("TMPDIR");
	const std::string prefix = std::string(base && *base ? base : "/tmp") + "/tilery-fuzz-" + std::to_string(getpid());
	g_input = prefix + ".bmp";
	g_output = prefix + ".html";
	return 0;
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (ClaimedPixels(data, size) > MAX_FUZZED_PIXELS)
		return 0;
	DecodedPicture picture;
	const bool decoded = DecodeBmp(data, size, &picture) == nullptr;
	if (decoded && picture.pixels.size() != size_t(picture.width) * size_t(picture.height))
		__builtin_trap();

	FILE *file = std::fopen(g_input.c_str(), "wb");
	if (!file)
		return 0;
	const bool written = std::fwrite(data, 1, size, file) == size;
	if (std::fclose(file) != 0 || !written)
		return 0;
	const int result = ConvertBitmapToTable(g_input.c_str(), g_output.c_str(), 1 + int(size % 3));
	/* The conversion reads the file as the reader did: both accept or both refuse. */
	if ((result == 0) != decoded)
		__builtin_trap();
	return 0;
}
