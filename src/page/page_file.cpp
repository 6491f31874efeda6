/* What every system's page file does alike: the new file's name, and the
 * page put in place or thrown away. */
#include "page/page_file.h"

#include <cstring>

#include "page/page_file_system.h"
#include "page/temporary_file.h"
#include "system/path.h"

std::atomic<const char *> g_unfinishedPage{nullptr};

bool
NewPageName(const char *target, char *name)
{
	static const char NAME[] = ".tilery-XXXXXX";
	const size_t folder = FolderLength(target);
	if (folder + sizeof NAME > PAGE_PATH_SIZE)
		return false;
	std::memcpy(name, target, folder);
	std::memcpy(name + folder, NAME, sizeof NAME);
	return true;
}

void
RemoveUnfinishedPage(void)
{
	RemovePublishedFile(&g_unfinishedPage);
}

static void
Forget(PageFile *page)
{
	page->temporary[0] = '\0';
	page->replacing = false;
	page->file = nullptr;
}

bool
CopyPagePath(char *to, const char *from)
{
	const size_t length = std::strlen(from);
	if (length >= PAGE_PATH_SIZE)
		return false;
	std::memcpy(to, from, length + 1);
	return true;
}

bool
StartPageFile(const char *path, PageFile *page)
{
	Forget(page);
	return CopyPagePath(page->target, path);
}

int
CommitPageFile(PageFile *page)
{
	/* A full disk shows itself at the last write or only at the close. */
	bool failed = std::fflush(page->file) != 0 || std::ferror(page->file);
	if (page->replacing && !failed && !KeepNewPage(page))
		failed = true;
	if (std::fclose(page->file) != 0)
		failed = true;
	if (page->temporary[0]) {
		if (failed || !MovePageIntoPlace(page->temporary, page->target)) {
			RemovePublishedFile(&g_unfinishedPage);
			failed = true;
		}
		g_unfinishedPage = nullptr;
	}
	Forget(page);
	return failed ? -1 : 0;
}

void
AbandonPageFile(PageFile *page)
{
	std::fclose(page->file);
	if (page->temporary[0])
		RemovePublishedFile(&g_unfinishedPage);
	Forget(page);
}
