#ifndef TILERY_CONVERT_PROGRESS_H
#define TILERY_CONVERT_PROGRESS_H

/* Called at the end of every row of the scan with the rows done and the
 * rows in all, and as the picture is read with both 0, so that a caller
 * can keep its windows painted or show how far the conversion has got.
 * Installs hook (null: none) and returns the previous one. */
typedef void (*ConversionProgress)(long long rowsDone, long long rows);
ConversionProgress SetConversionProgress(ConversionProgress hook);

/* Tells the hook, if there is one. */
void ReportProgress(long long rowsDone, long long rows);

/* Tells the hook that more of the picture was read. */
inline void
ReportReading(void)
{
	ReportProgress(0, 0);
}

#endif
