#ifndef TILERY_RES_RESOURCE_H
#define TILERY_RES_RESOURCE_H

#include "platform/dialog.h"

enum {
	IDD_MAIN = 100,

	IDC_READ_LABEL = 1000,
	IDC_INPUT_PATH = 1010,
	IDC_INPUT_BROWSE = 1020,
	IDC_WRITE_LABEL = 1030,
	IDC_OUTPUT_PATH = 1040,
	IDC_OUTPUT_BROWSE = 1050,
	IDC_SIZE_LABEL = 1060,
	IDC_CELL_SIZE = 1070,
	IDC_CONVERT = 1080,
	IDC_EXIT = 1090,

	/* Below them, for e-mail. */
	IDC_MAIL = 1100,
	IDC_LIMIT_LABEL = 1110,
	IDC_LIMIT = 1120,
	IDC_LIMIT_UNIT = 1130,
};

/* The main dialog: fields for the two paths and the cell size; below
 * them, the check box for a mail's table and the field for a limit in KB. */
extern const DialogTemplate g_mainDialogTemplate;

#endif
