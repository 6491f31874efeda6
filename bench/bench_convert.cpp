/* Conversion speed on generated pictures, document written to disk included. */
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bmp_writer.h"
#include "convert/convert.h"
#include "picture/pixel_source.h"

namespace {

using Painter = std::function<uint32_t(int32_t x, int32_t y)>;

std::string
TempPath(const std::string &name)
{
	const char *base = std::getenv("TMPDIR");
	return std::string(base && *base ? base : "/tmp") + "/tilery-bench-" + name;
}

/* Writes the picture once per process and returns its path. */
std::string
Picture(const std::string &name, int32_t width, int32_t height, const Painter &paint)
{
	const std::string path = TempPath(name + ".bmp");
	std::vector<uint32_t> rgb(size_t(width) * size_t(height));
	for (int32_t y = 0; y < height; y++)
		for (int32_t x = 0; x < width; x++)
			rgb[size_t(y) * size_t(width) + size_t(x)] = paint(x, y);
	const Bytes file = MakeBmp24(width, height, rgb);
	FILE *out = std::fopen(path.c_str(), "wb");
	if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0)
		std::abort();
	return path;
}

/* The peak resident memory of one run of the command-line tool, in MiB,
 * in a process of its own, given these arguments. A process's peak
 * includes what its parent held when it was started, so the tool is
 * started from a fresh copy of this program (see main). */
double
PeakMemoryMiB(const std::vector<std::string> &arguments)
{
	int ends[2];
	if (pipe(ends) != 0)
		return -1;
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
	std::vector<char *> argv = {const_cast<char *>("/proc/self/exe"), const_cast<char *>("--peak-of")};
	for (const std::string &a : arguments)
		argv.push_back(const_cast<char *>(a.c_str()));
	argv.push_back(nullptr);
	pid_t child;
	const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
	posix_spawn_file_actions_destroy(&actions);
	close(ends[1]);
	char text[64] = {0};
	if (spawned == 0) {
		const ssize_t n = read(ends[0], text, sizeof text - 1);
		(void)n;
		waitpid(child, nullptr, 0);
	}
	close(ends[0]);
	return spawned == 0 ? std::atof(text) / 1024 : -1;
}

/* --peak-of ARGUMENTS...: runs the tool with them, prints its peak in KiB. */
int
PrintPeakOf(char **arguments)
{
	std::vector<char *> argv = {const_cast<char *>(TILERY_CLI)};
	for (; *arguments; arguments++)
		argv.push_back(*arguments);
	argv.push_back(nullptr);
	pid_t child;
	if (posix_spawn(&child, TILERY_CLI, nullptr, nullptr, argv.data(), environ) != 0)
		return 1;
	int status;
	struct rusage usage;
	if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
		return 1;
	std::printf("%ld\n", usage.ru_maxrss);
	return 0;
}

void
Convert(benchmark::State &state, const std::string &input, int64_t pixels)
{
	const std::string output = TempPath("out.html");
	int64_t bytes = 0;
	for (auto _ : state) {
		if (ConvertBitmapToTable(input.c_str(), output.c_str(), 4) != 0)
			state.SkipWithError("conversion failed");
		struct stat st;
		stat(output.c_str(), &st);
		bytes += st.st_size;
	}
	state.counters["pixels/s"] = benchmark::Counter(double(pixels) * double(state.iterations()),
	                                                benchmark::Counter::kIsRate);
	state.SetBytesProcessed(bytes);
	state.counters["peak_MiB"] = PeakMemoryMiB({input, "/dev/null", "4"});
	std::remove(output.c_str());
}

const std::string &
LogoPicture()
{
	static const std::string input = Picture("logo", 1024, 1024, [](int32_t x, int32_t y) -> uint32_t {
		const double dx = x - 512.0, dy = y - 512.0, r = std::sqrt(dx * dx + dy * dy);
		if (r < 300 && std::abs(dx) < 60)
			return 0xFFFFFF;
		if (r < 300)
			return 0xD02030;
		if (y > 880 && y < 940 && x > 200 && x < 824)
			return 0x202020;
		return 0xF4F4F4;
	});
	return input;
}

void
BM_FlatLogo1024(benchmark::State &state)
{
	Convert(state, LogoPicture(), 1024 * 1024);
}

/* A gradient reduced to 16 colours by ordered dithering. */
void
BM_Dithered16Colours1000(benchmark::State &state)
{
	static const std::string input = Picture("dither", 1000, 1000, [](int32_t x, int32_t y) -> uint32_t {
		static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
		const int level = (x + y) * 15 * 16 / 2000 + bayer[y % 4][x % 4];
		const uint32_t v = uint32_t(std::min(15, level / 16)) * 17;
		return v << 16 | v << 8 | (255 - v);
	});
	Convert(state, input, 1000 * 1000);
}

uint32_t
Noise64(int32_t x, int32_t y)
{
	uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
	h ^= h >> 15, h *= 0x2C1B3C6Du, h ^= h >> 12;
	const uint32_t c = h % 64; /* two bits a channel */
	return (c & 3) * 85 << 16 | (c >> 2 & 3) * 85 << 8 | (c >> 4 & 3) * 85;
}

const std::string &
NoisePicture()
{
	static const std::string input = Picture("noise1000", 1000, 1000, Noise64);
	return input;
}

void
BM_Noise64Colours1000x1000(benchmark::State &state)
{
	Convert(state, NoisePicture(), 1000 * 1000);
}

void
BM_Noise64Colours2000x1000(benchmark::State &state)
{
	static const std::string input = Picture("noise2000", 2000, 1000, Noise64);
	Convert(state, input, 2000 * 1000);
}

/* A desktop: title bars, panels, and lines of small glyphs. */
void
BM_Screen1920x1080(benchmark::State &state)
{
	static const std::string input = Picture("screen", 1920, 1080, [](int32_t x, int32_t y) -> uint32_t {
		if (y < 28)
			return x % 400 < 380 ? 0x2B2B2B : 0x3C3C3C;
		if (x < 260)
			return y % 24 < 22 ? 0xECECEC : 0xD0D0D0;
		if (y > 60 && y < 1040 && x > 300 && x < 1880) {
			const int32_t line = (y - 60) / 18, row = (y - 60) % 18, column = (x - 300) / 8, cx = (x - 300) % 8;
			if (row < 2 || row > 12 || cx > 5 || (column + line * 7) % 11 == 0)
				return 0xFFFFFF;
			const uint32_t glyph = uint32_t(column * 2654435761u ^ line * 40503u);
			return glyph >> ((row - 2) * 6 + cx) % 31 & 1 ? 0x1A1A1A : 0xFFFFFF;
		}
		return 0x5A7FA8;
	});
	Convert(state, input, 1920 * 1080);
}

/* A band on top, then one-pixel bars the whole way down: every row below
 * the band is covered by cells begun long before. */
void
BM_Barcode2000x1000(benchmark::State &state)
{
	static const std::string input = Picture("barcode", 2000, 1000, [](int32_t x, int32_t y) -> uint32_t {
		return y < 20 ? 0xC8C8C8 : x % 2 ? 0x000000 : 0xFFFFFF;
	});
	Convert(state, input, 2000 * 1000);
}

/* One-pixel bars that change colours at a stair: under it, the cells over
 * a row get older from left to right. */
const std::string &
StaircasePicture()
{
	static const std::string input = Picture("staircase", 2048, 3072, [](int32_t x, int32_t y) -> uint32_t {
		static const uint32_t colours[4] = {0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF};
		return colours[x % 2 + (y >= 2047 - x ? 2 : 0)];
	});
	return input;
}

void
BM_Staircase2048x3072(benchmark::State &state)
{
	Convert(state, StaircasePicture(), 2048 * 3072);
}

/* As wide as a picture may be, alternating colours: a row of 65536 cells. */
void
BM_Alternating65536x16(benchmark::State &state)
{
	static const std::string input = Picture("alternating", 65536, 16, [](int32_t x, int32_t y) -> uint32_t {
		return (x + y) % 2 ? 0xFFFFFF : 0x000000;
	});
	Convert(state, input, 65536 * 16);
}

/* As a user meets it: the command-line tool started for each conversion,
 * so every picture's memory comes fresh from the system. */
void
RunTool(benchmark::State &state, const std::string &input, int64_t pixels)
{
	const std::string output = TempPath("tool.html");
	char *argv[] = {const_cast<char *>(TILERY_CLI), const_cast<char *>(input.c_str()),
	                const_cast<char *>(output.c_str()), const_cast<char *>("4"), nullptr};
	for (auto _ : state) {
		pid_t child;
		int status;
		if (posix_spawn(&child, TILERY_CLI, nullptr, nullptr, argv, environ) != 0 ||
		    waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
			state.SkipWithError("the tool failed");
	}
	state.counters["pixels/s"] = benchmark::Counter(double(pixels) * double(state.iterations()),
	                                                benchmark::Counter::kIsRate);
	std::remove(output.c_str());
}

void
BM_ToolStaircase2048x3072(benchmark::State &state)
{
	RunTool(state, StaircasePicture(), 2048 * 3072);
}

void
BM_ToolFlatLogo1024(benchmark::State &state)
{
	RunTool(state, LogoPicture(), 1024 * 1024);
}

void
BM_ToolNoise64Colours1000x1000(benchmark::State &state)
{
	RunTool(state, NoisePicture(), 1000 * 1000);
}

/* A 12-megapixel JPEG photograph: a camera's photograph (in build-photos,
 * which ./build.sh bench fetches) enlarged to 4000x3000 with a sensor's
 * grain, as ImageMagick writes it at quality 90. */
const std::string &
PhotoJpeg()
{
	static const std::string path = TempPath("photo-12mp.jpg");
	const std::string make = "/usr/bin/convert '" TILERY_PHOTO_DIR "/skagen.jpg' -resize '4000x3000!' -seed 1 "
	                         "-attenuate 0.4 +noise Gaussian -quality 90 '" + path + "'";
	static const int made = std::system(make.c_str());
	if (made != 0)
		std::abort();
	return path;
}

/* Decoding alone, beside libjpeg-turbo's own djpeg started for the same
 * file (its PPM thrown away): what the reader adds to the library. */
void
BM_DecodeJpeg12MP(benchmark::State &state)
{
	const std::string &input = PhotoJpeg();
	for (auto _ : state) {
		Bitmap *bitmap = LoadBitmapFile(input.c_str());
		if (!bitmap)
			state.SkipWithError("the photograph was refused");
		DeleteBitmap(bitmap);
	}
	state.counters["pixels/s"] = benchmark::Counter(12e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

/* The photograph to a fragment of at most `budget` bytes: decoding, the
 * search for the reduction, and the page written. Beside the time, the
 * tool's peak memory against the decoded picture's, 4 bytes a pixel: the
 * search's own memory is bounded whatever the picture. */
void
Budget(benchmark::State &state, long long budget)
{
	const std::string &input = PhotoJpeg();
	const std::string output = TempPath("budget.html");
	PageOptions options = DEFAULT_PAGE_OPTIONS;
	options.fragment = true;
	options.maxBytes = budget;
	for (auto _ : state) {
		if (ConvertPicture(input.c_str(), output.c_str(), 1, options, nullptr) != 0)
			state.SkipWithError("conversion failed");
	}
	std::remove(output.c_str());
	state.counters["picture_MiB"] = 12e6 * 4 / (1 << 20);
	state.counters["peak_MiB"] = PeakMemoryMiB({"--fragment", "--max-bytes", std::to_string(budget), input, "/dev/null"});
}

/* At 100 KB the search weighs grids of up to a million cells. */
void
BM_Budget100KJpeg12MP(benchmark::State &state)
{
	Budget(state, 100000);
}

/* At 10 MB it weighs the picture itself (12 million cells), then grids of
 * up to 3 million cells, merging near colours. */
void
BM_Budget10MJpeg12MP(benchmark::State &state)
{
	Budget(state, 10000000);
}

void
BM_DjpegJpeg12MP(benchmark::State &state)
{
	const std::string &input = PhotoJpeg();
	char *argv[] = {const_cast<char *>("djpeg"), const_cast<char *>("-outfile"), const_cast<char *>("/dev/null"),
	                const_cast<char *>(input.c_str()), nullptr};
	for (auto _ : state) {
		pid_t child;
		int status;
		if (posix_spawnp(&child, "djpeg", nullptr, nullptr, argv, environ) != 0 ||
		    waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
			state.SkipWithError("djpeg failed");
	}
	state.counters["pixels/s"] = benchmark::Counter(12e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_Staircase2048x3072)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Alternating65536x16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FlatLogo1024)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Dithered16Colours1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Noise64Colours1000x1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Noise64Colours2000x1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Screen1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Barcode2000x1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ToolStaircase2048x3072)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ToolFlatLogo1024)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ToolNoise64Colours1000x1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeJpeg12MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Budget100KJpeg12MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Budget10MJpeg12MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DjpegJpeg12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

int
main(int argc, char **argv)
{
	if (argc >= 3 && std::strcmp(argv[1], "--peak-of") == 0)
		return PrintPeakOf(argv + 2);
	benchmark::Initialize(&argc, argv);
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	return 0;
}
