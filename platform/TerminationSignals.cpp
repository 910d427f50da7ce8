#include "platform/TerminationSignals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <thread>

#include "platform/Trace.h"

namespace talvinor {

namespace {

std::mutex g_lock;
TerminationHandler g_handler;   // guarded by g_lock
bool g_handlerSet = false;      // guarded by g_lock; false: a signal ends the process
bool g_started = false;         // guarded by g_lock

sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

void Watch(sigset_t set) {
  for (;;) {
    int number = 0;
    if (sigwait(&set, &number) != 0) continue;
    TerminationHandler handler;
    bool set_ = false;
    {
      std::lock_guard<std::mutex> lock(g_lock);
      handler = g_handler;
      set_ = g_handlerSet;
    }
    Trace("TerminationSignals - signal %d (%s)\r\n", number, strsignal(number));
    if (!set_) _exit(128 + number);
    if (handler) handler(number);
  }
}

}  // namespace

bool StartTerminationWatch() {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_started) return true;
  sigset_t set = WatchedSignals();
  int result = pthread_sigmask(SIG_BLOCK, &set, nullptr);
  if (result != 0) {
    TraceErrno(result, "TerminationSignals - pthread_sigmask");
    return false;
  }
  try {
    std::thread(Watch, set).detach();
  } catch (const std::system_error& error) {
    Trace("TerminationSignals - the watch thread could not start: %s\r\n", error.what());
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return false;
  }
  g_started = true;
  return true;
}

void SetTerminationHandler(TerminationHandler handler) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_handler = std::move(handler);
  g_handlerSet = true;
}

void ClearTerminationHandler() {
  std::lock_guard<std::mutex> lock(g_lock);
  g_handler = nullptr;
  g_handlerSet = false;
}

}  // namespace talvinor
