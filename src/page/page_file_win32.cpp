#include "page/page_file.h"

#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstring>

#include "page/page_file_system.h"
#include "page/temporary_file_win32.h"
#include "system/text_win32.h"

/* '<' and '>' cannot be in a Windows file name. */
const char STANDARD_OUTPUT_PAGE[] = "<stdout>";

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

/* A new file beside the page, hidden, and deleted by the system when the
 * program ends, however it ends, until it is whole. Where the file system
 * cannot delete it so, the stop handler does. */
static FILE *
OpenBeside(PageFile *page)
{
	if (!NewPageName(page->target, page->temporary))
		return nullptr;
	const HANDLE file = CreateUniqueFile(page->temporary, GENERIC_WRITE | DELETE | WRITE_DAC,
	                                     FILE_ATTRIBUTE_HIDDEN, &g_unfinishedPage);
	if (file == INVALID_HANDLE_VALUE) {
		page->temporary[0] = '\0';
		return nullptr;
	}
	FILE_DISPOSITION_INFO gone = {TRUE};
	SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone);
	FILE *stream = StreamOf(file);
	if (!stream) {
		RemovePublishedFile(&g_unfinishedPage);
		page->temporary[0] = '\0';
		return nullptr;
	}
	page->replacing = true;
	return stream;
}

/* The new file is kept, shown, and takes the old page's attributes (but
 * read-only, which is refused) and access list. */
bool
KeepNewPage(PageFile *page)
{
	const HANDLE file = HANDLE(_get_osfhandle(_fileno(page->file)));
	FILE_DISPOSITION_INFO keep = {FALSE};
	SetFileInformationByHandle(file, FileDispositionInfo, &keep, sizeof keep);
	const WidePath target(page->target);
	const DWORD old = GetFileAttributesW(target.text);
	const DWORD kept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
	                   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
	FILE_BASIC_INFO basic = {}; /* times of 0 stay as they are */
	basic.FileAttributes = old != INVALID_FILE_ATTRIBUTES && (old & kept) ? old & kept : FILE_ATTRIBUTE_NORMAL;
	if (!SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic))
		return false;
	PACL access;
	PSECURITY_DESCRIPTOR descriptor;
	if (old != INVALID_FILE_ATTRIBUTES &&
	    GetNamedSecurityInfoW(target.text, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &access,
	                          nullptr, &descriptor) == ERROR_SUCCESS) {
		SECURITY_DESCRIPTOR_CONTROL control = 0;
		DWORD revision;
		GetSecurityDescriptorControl(descriptor, &control, &revision);
		const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | (control & SE_DACL_PROTECTED
		                                                                   ? PROTECTED_DACL_SECURITY_INFORMATION
		                                                                   : UNPROTECTED_DACL_SECURITY_INFORMATION);
		const DWORD set = SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, access, nullptr);
		LocalFree(descriptor);
		if (set != ERROR_SUCCESS)
			return false;
	}
	return true;
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
	page->file = OpenBeside(page);
	if (!page->file)
		page->file = StreamOf(OpenForWriting(WidePath(page->target).text, CREATE_ALWAYS));
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
