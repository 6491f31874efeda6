#ifndef TILERY_PLATFORM_FILE_CHOOSER_H
#define TILERY_PLATFORM_FILE_CHOOSER_H

#include <cstdint>

#include "system/message_box.h"

/* The standard choosers for a file to open and a file to save. */

enum : uint32_t {
	OFN_OVERWRITEPROMPT = 0x00000002,
	OFN_FILEMUSTEXIST = 0x00001000,
};

struct OpenFileName {
	WindowHandle owner; /* the chooser is modal to it */
	char *file;         /* the chosen path, in file-name bytes */
	uint32_t maxFile;   /* room in file, NUL included */
	uint32_t flags;
};

/* True when a file was chosen and its path fits in file; false when the
 * chooser was cancelled or failed, or the path does not fit (file is then
 * left as it was). The choosers show every file and start with no name. */
bool GetOpenFileName(OpenFileName *choice);
bool GetSaveFileName(OpenFileName *choice);

#endif
