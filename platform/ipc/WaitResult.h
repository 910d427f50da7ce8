#pragma once

namespace talvinor {

// Outcome of waiting on a named semaphore or event.
enum class WaitResult {
  Signalled,  // taken (semaphore) or set (event)
  TimedOut,   // not within the time-out; for a semaphore tried with 0: busy
  Failed,     // the object is not open or the system call failed (traced)
};

}  // namespace talvinor
