#ifndef TILERY_TESTS_FAILING_MALLOC_H
#define TILERY_TESTS_FAILING_MALLOC_H

/* The test programs are linked with malloc wrapped (-Wl,--wrap=malloc):
 * the program's own calls to malloc go through here and can be made to fail.
 * Allocations made inside the C++ runtime are not affected. */

/* The calling thread's next `successes` calls succeed, the ones after
 * fail, until cleared. */
void FailMallocAfter(int successes);
/* The next `successes` calls of operator new succeed, the one after fails. */
void FailNewAfter(int successes);
void StopFailingMalloc();          /* stops both */
/* Whether the failure FailNewAfter asked for is still to come. */
bool NewFailurePending();

#endif
