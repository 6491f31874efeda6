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
};

/* The main dialog: fields for the two paths and the cell size. */
extern const DialogTemplate g_mainDialogTemplate;

#endif
