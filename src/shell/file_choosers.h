#ifndef TILERY_SHELL_FILE_CHOOSERS_H
#define TILERY_SHELL_FILE_CHOOSERS_H

#include "system/message_box.h"

/* Let the user pick the picture to read or the page to write, and put the
 * path into field. 0 when a file was chosen; 1 when not, the field as it was. */
int BrowseInputFile(WindowHandle owner, WindowHandle field);
int BrowseOutputFile(WindowHandle owner, WindowHandle field);

#endif
