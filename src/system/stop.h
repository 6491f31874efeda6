#ifndef TILERY_SYSTEM_STOP_H
#define TILERY_SYSTEM_STOP_H

/* Stops from outside: an interrupt, a closed terminal or console, a
 * termination. */

/* Calls leave (which must be safe there) when the program is stopped; the
 * process then ends as it would have without it. On POSIX systems only
 * the thread that called OnStop, the main one, calls leave: a stop that
 * another thread takes is passed on to it. A reader of standard output
 * that leaves early makes a write fail, not the program end. */
void OnStop(void (*leave)(void));

/* Holds stops back on the calling thread, and on the threads it starts
 * meanwhile, until they are let through again; they then arrive. Nothing
 * where stops are not signals (Windows). */
void HoldStops(bool hold);

#endif
