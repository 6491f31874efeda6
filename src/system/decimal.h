#ifndef TILERY_SYSTEM_DECIMAL_H
#define TILERY_SYSTEM_DECIMAL_H

/* Whole numbers as people type them: the digits 0 to 9 and nothing else,
 * read in base 10 whatever they start with (010 is ten, 0x10 no number),
 * by the command-line tool and the dialog alike. */

/* The digits at the start of text, up to the first other byte, into value
 * (no digit: 0), but never more than most + 1: a longer number is as good
 * as too large. Returns where the digits end. most is below LLONG_MAX. */
const char *ReadDecimal(const char *text, long long most, long long *value);

/* Whether text is digits alone, at least one, spelling a number from least
 * to most; the number into value, which is otherwise left as it was. */
bool ParseDecimal(const char *text, long long least, long long most, long long *value);

#endif
