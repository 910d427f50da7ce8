#pragma once
#include <functional>

namespace talvinor {

// Called with the signal's number on the watch's own thread, never in a
// signal handler: it may take locks and post messages.
using TerminationHandler = std::function<void(int signalNumber)>;

// Turns SIGTERM (what a desktop sends at logout), SIGINT and SIGHUP into
// calls of a handler, so the program can close in order (a recording is
// stopped and its file made final) instead of dying in mid-write.
//
// Blocks the three signals in the calling thread, which every thread it
// starts afterwards inherits, and waits for them on a thread of its own.
// Call it once, before any other thread is started: a thread that was
// already running would still die of the signal. False when the thread could
// not be started (the signals then keep their default action). Until a
// handler is set, a signal ends the process at once with 128 + its number,
// as it would have without the watch.
bool StartTerminationWatch();

// The handler for the signals from now on; an empty one ignores them (the
// program is already closing).
void SetTerminationHandler(TerminationHandler handler);

// Puts the default handling back: the next signal ends the process.
void ClearTerminationHandler();

}  // namespace talvinor
