#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/ipc/SharedMemoryBlock.h"
#include "platform/ipc/WaitResult.h"

namespace talvinor {

struct SharedEventState;

// A named manual-reset event shared between processes: once set, every wait
// returns at once until it is reset. Time-outs in milliseconds on the
// monotonic clock.
//
// The state lives in a small shared block: a flag guarded by a process-shared
// robust mutex (a lock left held by a killed process is recovered) and a wake
// word that sleepers wait on with a futex. A shared condition variable is not
// used: glibc's hangs a later broadcast forever once a waiter was killed
// inside its wait, and senders are killed (Ctrl-C) while waiting.
class NamedEvent {
 public:
  NamedEvent() = default;
  ~NamedEvent();
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  // Creates the event afresh, not set, removing one a dead creator left
  // behind. Mode 0600. The creator removes the name at Close.
  bool Create(const std::string& name);
  // Opens an existing event; fails when it is not (yet) initialised.
  bool Open(const std::string& name);
  void Close();
  bool IsOpen() const { return m_state != nullptr; }

  bool Set();
  bool Reset();
  bool IsSet();
  // Signalled when the event is (or becomes) set; kInfinite waits without end.
  WaitResult Wait(uint32_t timeoutMs);

  // Runs `action` while holding the event's lock. A seam for tests that make
  // a process die holding it.
  void RunLocked(const std::function<void()>& action);

  int LastError() const { return m_lastError; }
  bool GetMode(uint32_t* mode) const { return m_block.GetMode(mode); }

 private:
  bool Lock();
  void Unlock();
  bool Fail(int error, const char* context);

  SharedMemoryBlock m_block;
  SharedEventState* m_state = nullptr;  // inside m_block
  std::string m_name;  // full object name
  int m_lastError = 0;
};

}  // namespace talvinor
