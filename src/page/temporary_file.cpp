#include "page/temporary_file.h"

#include <chrono>
#include <cstdint>
#include <cstring>

void
PickTemporaryName(char *pattern)
{
	static const char LETTERS[] = "abcdefghijklmnopqrstuvwxyz0123456789";
	static std::atomic<uint64_t> calls{0};
	/* Different in every call, every process and every run: a name taken
	 * already is tried again with the next one. */
	uint64_t seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
	                uint64_t(uintptr_t(&calls)) << 16 ^ ++calls * 0x9E3779B97F4A7C15ULL;
	char *x = pattern + std::strlen(pattern) - 6;
	for (int i = 0; i < 6; i++) {
		seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
		x[i] = LETTERS[(seed >> 33) % (sizeof LETTERS - 1)];
	}
}
