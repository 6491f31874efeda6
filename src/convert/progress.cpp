#include "convert/progress.h"

static ConversionProgress g_progress;

ConversionProgress
SetConversionProgress(ConversionProgress hook)
{
	ConversionProgress previous = g_progress;
	g_progress = hook;
	return previous;
}

void
ReportProgress(long long rowsDone, long long rows)
{
	if (g_progress)
		g_progress(rowsDone, rows);
}
