#ifndef TILERY_SYSTEM_PROGRESS_H
#define TILERY_SYSTEM_PROGRESS_H

/* How far a conversion has got, told as it goes, so that a caller can show
 * it or keep its windows painted: the picture is read (done and total in
 * bytes of its file), the page fitted to its budget (in steps of a search
 * that may end sooner), then its rows written. Each stage's done only
 * grows. */
enum ConversionStage { STAGE_READING, STAGE_FITTING, STAGE_WRITING };
typedef void (*ConversionProgress)(ConversionStage stage, long long done, long long total);

/* Installs hook (null: none) and returns the previous one. */
ConversionProgress SetConversionProgress(ConversionProgress hook);

/* Tells the hook, if there is one. */
void ReportProgress(ConversionStage stage, long long done, long long total);

/* Tells it again how far the conversion has got, for a long step that
 * has nothing new to tell, so that windows stay painted. */
void RepeatProgress(void);

/* The whole conversion's progress in per cent: reading and writing share
 * it, or, where a budget is searched, leave most of it to the search. */
int ProgressPercent(ConversionStage stage, long long done, long long total, bool fitting);

#endif
