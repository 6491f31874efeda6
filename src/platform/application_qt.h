#ifndef TILERY_PLATFORM_APPLICATION_QT_H
#define TILERY_PLATFORM_APPLICATION_QT_H

/* What the toolkit needs before the first window: its own texts (the
 * choosers' labels and buttons) in the user's language, and no settings
 * file, which its file chooser would otherwise write. */
void PrepareQtApplication(void);

#endif
