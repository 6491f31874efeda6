#include "system/stop.h"

#include <pthread.h>
#include <signal.h>

#include <initializer_list>

static void (*g_leave)(void);
static pthread_t g_mainThread;

static void
Stop(int signal)
{
	/* Another thread may be in the middle of nothing the main thread
	 * knows of; the main thread runs leave when it may, once any stop it
	 * holds back is let through. */
	if (!pthread_equal(pthread_self(), g_mainThread)) {
		pthread_kill(g_mainThread, signal);
		return;
	}
	g_leave();
	struct sigaction usual = {};
	usual.sa_handler = SIG_DFL;
	sigaction(signal, &usual, nullptr);
	raise(signal);
}

static void
StopSignals(sigset_t *set)
{
	sigemptyset(set);
	for (int signal : {SIGINT, SIGTERM, SIGHUP})
		sigaddset(set, signal);
}

void
OnStop(void (*leave)(void))
{
	g_leave = leave;
	g_mainThread = pthread_self();
	struct sigaction stop = {};
	stop.sa_handler = Stop;
	StopSignals(&stop.sa_mask);
	for (int signal : {SIGINT, SIGTERM, SIGHUP})
		sigaction(signal, &stop, nullptr);
	struct sigaction ignore = {};
	ignore.sa_handler = SIG_IGN;
	sigaction(SIGPIPE, &ignore, nullptr);
}

void
HoldStops(bool hold)
{
	sigset_t stopping;
	StopSignals(&stopping);
	pthread_sigmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &stopping, nullptr);
}
