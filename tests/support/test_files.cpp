#include "test_files.h"

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

/* Paths are UTF-8, as the program takes them, on every system. */
static fs::path
Native(const std::string &path)
{
	return fs::u8path(path);
}

TempDir::TempDir()
{
	std::random_device seed;
	std::mt19937 random(seed());
	for (int attempt = 0; attempt < 100 && path_.empty(); attempt++) {
		const fs::path folder = fs::temp_directory_path() / ("tilery-test-" + std::to_string(random()));
		std::error_code error;
		if (fs::create_directory(folder, error))
			path_ = folder.generic_u8string();
	}
	if (path_.empty())
		throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir()
{
	std::error_code ignored;
	/* Folders a test made read-only must become writable again to go. */
	for (auto &entry : fs::recursive_directory_iterator(Native(path_), ignored))
		if (entry.is_directory(ignored))
			fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
	fs::remove_all(Native(path_), ignored);
}

void
WriteFile(const std::string &path, const std::vector<unsigned char> &bytes)
{
	std::ofstream out(Native(path), std::ios::binary);
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
	std::error_code error;
	return fs::exists(Native(path), error);
}

std::string
ReadFile(const std::string &path)
{
	std::ifstream in(Native(path), std::ios::binary);
	std::ostringstream text;
	text << in.rdbuf();
	return text.str();
}

std::vector<std::string>
FilesIn(const std::string &folder)
{
	std::vector<std::string> names;
	std::error_code error;
	for (const auto &entry : fs::directory_iterator(Native(folder), error))
		names.push_back(entry.path().filename().u8string());
	std::sort(names.begin(), names.end());
	return names;
}

std::string
BmpSuiteDir()
{
	const std::string dir = TILERY_BMPSUITE_DIR;
	return FileExists(dir + "/good") ? dir : std::string();
}
