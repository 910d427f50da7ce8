#pragma once
#include <semaphore.h>

#include <cstdint>
#include <string>

#include "platform/ipc/WaitResult.h"

namespace talvinor {

// A named semaphore (sem_open) in the per-user namespace with a maximum count
// of one: it guards one shared block between processes. Not thread-safe to
// open and close; Wait and Release may be called from any thread.
class NamedSemaphore {
 public:
  NamedSemaphore() = default;
  ~NamedSemaphore();
  NamedSemaphore(const NamedSemaphore&) = delete;
  NamedSemaphore& operator=(const NamedSemaphore&) = delete;

  // Creates the semaphore afresh with `initialCount` (0 or 1), removing one a
  // dead creator left behind (possibly still taken). Mode 0600. The creator
  // removes the name at Close.
  bool Create(const std::string& name, uint32_t initialCount);
  // Opens an existing semaphore.
  bool Open(const std::string& name);
  void Close();
  bool IsOpen() const { return m_sem != nullptr; }

  // Takes the semaphore; 0 tries once, kInfinite waits without end.
  WaitResult Wait(uint32_t timeoutMs);
  // Gives it back. Like a semaphore with a maximum of one, a release that
  // would raise the count above one is refused (false).
  bool Release();
  // The current count (0 or 1), for tests and diagnostics; -1 on failure.
  int Count();

  int LastError() const { return m_lastError; }

 private:
  bool Fail(int error, const char* context);

  sem_t* m_sem = nullptr;
  bool m_creator = false;
  std::string m_name;  // full object name
  int m_lastError = 0;
};

}  // namespace talvinor
