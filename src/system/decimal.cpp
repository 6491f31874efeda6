#include "system/decimal.h"

const char *
ReadDecimal(const char *text, long long most, long long *value)
{
	long long number = 0;
	for (; *text >= '0' && *text <= '9'; text++) {
		const int digit = *text - '0';
		number = number > (most - digit) / 10 ? most + 1 : number * 10 + digit;
	}
	*value = number <= most ? number : most + 1;
	return text;
}

bool
ParseDecimal(const char *text, long long least, long long most, long long *value)
{
	long long number;
	const char *end = ReadDecimal(text, most, &number);
	if (end == text || *end || number < least || number > most)
		return false;
	*value = number;
	return true;
}
