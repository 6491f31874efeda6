#ifndef TILERY_TESTS_TEST_FILES_H
#define TILERY_TESTS_TEST_FILES_H

#include <string>
#include <vector>

/* A fresh folder under the system's temporary folder, removed with all it
 * holds when the object goes. Paths are UTF-8 with forward slashes. */
class TempDir {
public:
	TempDir();
	~TempDir();
	TempDir(const TempDir &) = delete;
	TempDir &operator=(const TempDir &) = delete;
	const std::string &path() const { return path_; }
	std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
	std::string path_;
};

void WriteFile(const std::string &path, const std::vector<unsigned char> &bytes);
void WriteFile(const std::string &path, const std::string &text);
bool FileExists(const std::string &path);
std::string ReadFile(const std::string &path);
/* The names in a folder, sorted; none when it cannot be read. */
std::vector<std::string> FilesIn(const std::string &folder);

/* The public BMP test suite in tests/data, or "" when it is missing. */
std::string BmpSuiteDir();

#endif
