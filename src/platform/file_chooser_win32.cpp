/* Windows's own choosers. */
#include "platform/win32.h"

#include <cstring>

/* Room for any path the chooser gives; what the caller can take is
 * checked in UTF-8. */
enum { CHOOSER_PATH_SIZE = 32768 };

static bool
Choose(OpenFileName *choice, BOOL(WINAPI *run)(LPOPENFILENAMEW))
{
	static wchar_t path[CHOOSER_PATH_SIZE];
	path[0] = L'\0'; /* the chooser starts with no name */
	OPENFILENAMEW chooser = {};
	chooser.lStructSize = sizeof chooser;
	chooser.hwndOwner = HWND(choice->owner);
	chooser.lpstrFile = path;
	chooser.nMaxFile = CHOOSER_PATH_SIZE;
	/* A path typed after choosing means what it meant before, as on other
	 * systems, where choosing never changes the working folder. */
	chooser.Flags = choice->flags | OFN_NOCHANGEDIR;
	if (!run(&chooser))
		return false;
	const std::string chosen = Narrow(path);
	if (chosen.empty() || chosen.size() + 1 > choice->maxFile)
		return false;
	std::memcpy(choice->file, chosen.c_str(), chosen.size() + 1);
	return true;
}

bool
GetOpenFileName(OpenFileName *choice)
{
	return Choose(choice, GetOpenFileNameW);
}

bool
GetSaveFileName(OpenFileName *choice)
{
	return Choose(choice, GetSaveFileNameW);
}
