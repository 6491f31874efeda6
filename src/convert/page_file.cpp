/* What every system's page file does alike: the new file beside the page,
 * and the page put in place or thrown away. */
#include "convert/page_file.h"

#include <cstring>

/* The new file being written, for RemoveUnfinishedPage: published whole,
 * once the name is final, and withdrawn once the file is gone or in place. */
static std::atomic<const char *> g_unfinished{nullptr};

int
MakeUnfinishedPage(const char *target, size_t folder, char *temporary)
{
	static const char SUFFIX[] = ".tilery-XXXXXX";
	const char *name = target + folder;
	if (folder + 1 + std::strlen(name) + sizeof SUFFIX > PAGE_PATH_SIZE)
		return -1;
	std::memcpy(temporary, target, folder);
	char *p = temporary + folder;
	*p++ = '.';
	std::strcpy(p, name);
	std::strcat(p, SUFFIX);
	return MakeTemporaryFile(temporary, &g_unfinished);
}

void
DropUnfinishedPage(const char *temporary)
{
	RemoveTemporaryFile(temporary);
	g_unfinished = nullptr;
}

void
RemoveUnfinishedPage(void)
{
	if (const char *name = g_unfinished)
		RemoveTemporaryFile(name);
}

static void
Forget(PageFile *page)
{
	page->temporary[0] = '\0';
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
	if (std::fclose(page->file) != 0)
		failed = true;
	if (page->temporary[0]) {
		if (failed || !MovePageIntoPlace(page->temporary, page->target)) {
			RemoveTemporaryFile(page->temporary);
			failed = true;
		}
		g_unfinished = nullptr;
	}
	Forget(page);
	return failed ? -1 : 0;
}

void
AbandonPageFile(PageFile *page)
{
	std::fclose(page->file);
	if (page->temporary[0])
		DropUnfinishedPage(page->temporary);
	Forget(page);
}
