#include "test_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir()
{
	const char *base = std::getenv("TMPDIR");
	std::string pattern = std::string(base && *base ? base : "/tmp") + "/tilery-test-XXXXXX";
	if (!mkdtemp(pattern.data()))
		throw std::runtime_error("cannot make a temporary folder");
	path_ = pattern;
}

TempDir::~TempDir()
{
	std::error_code ignored;
	/* Folders a test made read-only must become writable again to go. */
	for (auto &entry : std::filesystem::recursive_directory_iterator(path_, ignored))
		if (entry.is_directory(ignored))
			chmod(entry.path().c_str(), 0700);
	std::filesystem::remove_all(path_, ignored);
}

void
WriteFile(const std::string &path, const std::vector<unsigned char> &bytes)
{
	std::ofstream out(path, std::ios::binary);
	out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
	if (!out)
		throw std::runtime_error("cannot write " + path);
}

void
WriteFile(const std::string &path, const std::string &text)
{
	WriteFile(path, std::vector<unsigned char>(text.begin(), text.end()));
}

bool
FileExists(const std::string &path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0;
}

std::string
ReadFile(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	std::ostringstream text;
	text << in.rdbuf();
	return text.str();
}

std::string
BmpSuiteDir()
{
	std::string dir = TILERY_BMPSUITE_DIR;
	struct stat st;
	return stat((dir + "/good").c_str(), &st) == 0 ? dir : std::string();
}
