/* The main dialog's template: positions and sizes in dialog units, controls
 * in tab order. Texts are UTF-8. */
#include "resource.h"

enum : uint32_t {
	LABEL_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT,                      /* 0x50020000 */
	EDIT_STYLE = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL,  /* 0x50810080 */
	BUTTON_STYLE = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,             /* 0x50010000 */
	DEFAULT_BUTTON_STYLE = BUTTON_STYLE | BS_DEFPUSHBUTTON,                        /* 0x50010001 */
	CHECK_BOX_STYLE = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,        /* 0x50010003 */
};

static const DialogItemTemplate MAIN_DIALOG_ITEMS[] = {
	{IDC_READ_LABEL, "static", "読込(&R)", 5, 5, 30, 12, LABEL_STYLE},
	{IDC_INPUT_PATH, "edit", "", 35, 5, 100, 12, EDIT_STYLE},
	{IDC_INPUT_BROWSE, "button", "参照", 138, 5, 25, 12, BUTTON_STYLE},
	{IDC_WRITE_LABEL, "static", "書込(&W)", 5, 20, 30, 12, LABEL_STYLE},
	{IDC_OUTPUT_PATH, "edit", "", 35, 20, 100, 12, EDIT_STYLE},
	{IDC_OUTPUT_BROWSE, "button", "参照", 138, 20, 25, 12, BUTTON_STYLE},
	{IDC_SIZE_LABEL, "static", "サイズ(&S)", 5, 35, 25, 12, LABEL_STYLE},
	{IDC_CELL_SIZE, "edit", "", 35, 35, 20, 12, EDIT_STYLE},
	{IDC_CONVERT, "button", "&OK", 60, 35, 50, 15, DEFAULT_BUTTON_STYLE},
	{IDC_EXIT, "button", "E&XIT", 115, 35, 50, 15, BUTTON_STYLE},
	{IDC_MAIL, "button", "メール用(&M)", 5, 55, 55, 12, CHECK_BOX_STYLE},
	{IDC_LIMIT_LABEL, "static", "上限(&L)", 70, 55, 25, 12, LABEL_STYLE},
	{IDC_LIMIT, "edit", "", 95, 55, 30, 12, EDIT_STYLE},
	{IDC_LIMIT_UNIT, "static", "KB", 128, 55, 15, 12, LABEL_STYLE},
};

const DialogTemplate g_mainDialogTemplate = {
	IDD_MAIN,
	WS_CAPTION | WS_SYSMENU | DS_SETFONT, /* 0x00C80040: no centring, so it opens at the top left */
	0, 0, 170, 72,
	"tilery",
	"MS UI Gothic", 9,
	LANG_JAPANESE,
	MAIN_DIALOG_ITEMS,
	sizeof MAIN_DIALOG_ITEMS / sizeof MAIN_DIALOG_ITEMS[0],
};
