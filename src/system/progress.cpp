#include "system/progress.h"

static ConversionProgress g_progress;
static ConversionStage g_stage;
static long long g_done, g_total;

ConversionProgress
SetConversionProgress(ConversionProgress hook)
{
	ConversionProgress previous = g_progress;
	g_progress = hook;
	return previous;
}

void
ReportProgress(ConversionStage stage, long long done, long long total)
{
	g_stage = stage, g_done = done, g_total = total;
	if (g_progress)
		g_progress(stage, done, total);
}

void
RepeatProgress(void)
{
	if (g_progress)
		g_progress(g_stage, g_done, g_total);
}

int
ProgressPercent(ConversionStage stage, long long done, long long total, bool fitting)
{
	/* Where each stage starts, per cent, with a search and without. */
	static const int STARTS[2][4] = {{0, 30, 30, 100}, {0, 10, 90, 100}};
	const int *start = STARTS[fitting];
	const int span = start[stage + 1] - start[stage];
	const long long part = total > 0 && done > 0 ? (done < total ? done : total) * span / total : 0;
	return start[stage] + int(part);
}
