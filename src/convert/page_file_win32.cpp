#include "convert/page_file.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <mutex>

#include "platform/win32.h"

/* '<' and '>' cannot be in a Windows file name. */
const char STANDARD_OUTPUT_PAGE[] = "<stdout>";

/* A console's stop handler runs on a thread of its own and waits while a
 * new file's name is made. */
static std::mutex g_naming;

/* A stream of bytes, never text, on the handle; it takes the handle. */
static FILE *
StreamOf(HANDLE handle)
{
	if (handle == INVALID_HANDLE_VALUE)
		return nullptr;
	const int fd = _open_osfhandle(intptr_t(handle), _O_BINARY | _O_WRONLY);
	if (fd < 0) {
		CloseHandle(handle);
		return nullptr;
	}
	FILE *file = _fdopen(fd, "wb");
	if (!file)
		_close(fd);
	return file;
}

static HANDLE
OpenForWriting(const wchar_t *path, DWORD disposition)
{
	return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
	                   FILE_ATTRIBUTE_NORMAL, nullptr);
}

/* Identifies a file by its volume and its index there. */
static bool
Identify(const char *path, BY_HANDLE_FILE_INFORMATION *info)
{
	const HANDLE file = CreateFileW(WidePath(path).text, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
	                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
	if (file == INVALID_HANDLE_VALUE)
		return false;
	const bool known = GetFileInformationByHandle(file, info);
	CloseHandle(file);
	return known;
}

bool
IsSameFile(const char *a, const char *b)
{
	BY_HANDLE_FILE_INFORMATION ia, ib;
	return Identify(a, &ia) && Identify(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
	       ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

/* A new file beside target. */
static FILE *
OpenBeside(const char *target, char *temporary)
{
	const char *slash = std::strrchr(target, '\\');
	const char *forward = std::strrchr(target, '/');
	if (!slash || (forward && forward > slash))
		slash = forward;
	const int fd = MakeUnfinishedPage(target, slash ? size_t(slash - target) + 1 : 0, temporary);
	if (fd < 0)
		return nullptr;
	FILE *file = _fdopen(fd, "wb");
	if (!file) {
		_close(fd);
		DropUnfinishedPage(temporary);
	}
	return file;
}

int
OpenPageFile(const char *path, PageFile *page)
{
	if (!StartPageFile(path, page))
		return -1;
	/* Standard output is written as the caller set it up, not reopened. */
	if (std::strcmp(path, STANDARD_OUTPUT_PAGE) == 0) {
		HANDLE duplicate;
		const HANDLE process = GetCurrentProcess();
		if (!DuplicateHandle(process, GetStdHandle(STD_OUTPUT_HANDLE), process, &duplicate, 0, FALSE,
		                     DUPLICATE_SAME_ACCESS))
			return -1;
		page->file = StreamOf(duplicate);
		return page->file ? 0 : -1;
	}
	const WidePath wide(path);
	if (!wide.text[0])
		return -1;
	/* An existing page is replaced only where it may be written, as
	 * opening it tells; what is not a file on disk (NUL, a pipe) is
	 * written directly. */
	const HANDLE existing = OpenForWriting(wide.text, OPEN_EXISTING);
	if (existing == INVALID_HANDLE_VALUE) {
		if (GetLastError() != ERROR_FILE_NOT_FOUND)
			return -1;
	} else if (GetFileType(existing) != FILE_TYPE_DISK) {
		page->file = StreamOf(existing);
		return page->file ? 0 : -1;
	} else {
		/* Read-only, though an administrator may open it all the same. */
		const DWORD attributes = GetFileAttributesW(wide.text);
		bool refused = attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY);
		/* Through a link to the file it names. */
		if (!refused && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
			wchar_t resolved[PAGE_PATH_SIZE];
			const DWORD length = GetFinalPathNameByHandleW(existing, resolved, PAGE_PATH_SIZE, FILE_NAME_NORMALIZED);
			refused = length == 0 || length >= PAGE_PATH_SIZE || !NarrowInto(resolved, page->target, PAGE_PATH_SIZE);
		}
		CloseHandle(existing);
		if (refused)
			return -1;
	}
	/* A page that may be written where no new file can be made beside it
	 * is written in place. */
	page->file = OpenBeside(page->target, page->temporary);
	if (!page->file) {
		page->temporary[0] = '\0';
		page->file = StreamOf(OpenForWriting(WidePath(page->target).text, CREATE_ALWAYS));
	}
	return page->file ? 0 : -1;
}

int
WritePageFile(PageFile *page, const char *bytes, size_t length)
{
	return std::fwrite(bytes, 1, length, page->file) == length ? 0 : -1;
}

bool
MovePageIntoPlace(const char *temporary, const char *target)
{
	return MoveFileExW(WidePath(temporary).text, WidePath(target).text, MOVEFILE_REPLACE_EXISTING);
}

/* Huge pages need a privilege that programs are not given. */
void
AdviseHugePages(void *, size_t)
{
}

int
MakeTemporaryFile(char *pattern, std::atomic<const char *> *published)
{
	static const char LETTERS[] = "abcdefghijklmnopqrstuvwxyz0123456789";
	const size_t length = std::strlen(pattern);
	if (length < 6 || std::strcmp(pattern + length - 6, "XXXXXX") != 0)
		return -1;
	std::lock_guard<std::mutex> hold(g_naming);
	unsigned long long seed = GetTickCount64() ^ (unsigned long long)GetCurrentProcessId() << 20 ^
	                          (unsigned long long)(uintptr_t)pattern;
	for (int attempt = 0; attempt < 100; attempt++) {
		for (size_t i = length - 6; i < length; i++) {
			seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
			pattern[i] = LETTERS[(seed >> 33) % (sizeof LETTERS - 1)];
		}
		/* Shared for deleting, so that a stop handler can take it away
		 * while it is still open. */
		const HANDLE file = CreateFileW(WidePath(pattern).text, GENERIC_READ | GENERIC_WRITE,
		                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
		                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
		if (file == INVALID_HANDLE_VALUE) {
			if (GetLastError() == ERROR_FILE_EXISTS)
				continue;
			return -1;
		}
		const int fd = _open_osfhandle(intptr_t(file), _O_BINARY | _O_RDWR);
		if (fd < 0) {
			CloseHandle(file);
			DeleteFileW(WidePath(pattern).text);
			return -1;
		}
		*published = pattern;
		return fd;
	}
	return -1;
}

void
RemoveTemporaryFile(const char *name)
{
	std::lock_guard<std::mutex> hold(g_naming);
	DeleteFileW(WidePath(name).text);
}
