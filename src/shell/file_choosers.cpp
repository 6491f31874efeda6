#include "shell/file_choosers.h"

#include <cstring>

#include "platform/dialog.h"
#include "platform/file_chooser.h"

enum { CHOSEN_PATH_SIZE = 1024 };

static int
Browse(WindowHandle owner, WindowHandle field, bool (*choose)(OpenFileName *), uint32_t flags)
{
	char path[CHOSEN_PATH_SIZE];
	std::memset(path, 0, sizeof path); /* the chooser starts with no name */
	OpenFileName choice;
	std::memset(&choice, 0, sizeof choice);
	choice.owner = owner;
	choice.file = path;
	choice.maxFile = sizeof path;
	choice.flags = flags;
	if (!choose(&choice))
		return 1;
	SetWindowText(field, path);
	return 0;
}

int
BrowseInputFile(WindowHandle owner, WindowHandle field)
{
	return Browse(owner, field, GetOpenFileName, OFN_FILEMUSTEXIST);
}

int
BrowseOutputFile(WindowHandle owner, WindowHandle field)
{
	return Browse(owner, field, GetSaveFileName, 0);
}
