#ifndef TILERY_CLI_CONSOLE_H
#define TILERY_CLI_CONSOLE_H

#include <cstdio>

/* What the command-line tool needs of the system: its entry, which hands
 * the arguments over as UTF-8, and text on a console. */

/* The tool itself, run by the system's entry; returns the exit status. */
int RunTool(int argc, char **argv);

/* Whether stream is a terminal or console a person reads. */
bool IsConsole(FILE *stream);

/* Writes UTF-8 text to stream as the console shows it, or as bytes. */
void WriteText(FILE *stream, const char *text);

/* Takes back a line written to a console, which ended without a newline. */
void ClearLine(FILE *stream);

/* The folder for temporary files, with no slash at its end. */
const char *TemporaryFolder(void);

#endif
