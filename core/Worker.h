#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/RefPtr.h"
#include "platform/ManualResetEvent.h"
#include "platform/window/WindowMessages.h"

namespace talvinor {

// A counted object that owns one thread running its Run body.
//
// While the thread runs it holds its own counted reference on the worker
// (taken by Start before the thread exists), so the object can never be freed
// under a running thread: releasing the last outside reference of a running
// worker only lets the thread end it when Run returns. Stop/Wait are bounded;
// a thread that will not end in time is left running, never killed.
class Worker : public RefObject {
  TALVINOR_CLASS_CODES(0x1210)

 public:
  // Starts the thread; false while a previous run is still in progress or
  // when the new thread did not report within 3000 ms.
  virtual bool Start();
  // Asks the run body to end (stop-request flag) and waits up to
  // `timeoutMs` for the thread.
  virtual bool Stop(uint32_t timeoutMs);
  // True once the thread has ended (at once when it already has); false on
  // time-out and when no thread was ever started.
  virtual bool Wait(uint32_t timeoutMs);
  // Threads cannot be suspended here: both always report -1.
  virtual int32_t SuspendWorker();
  virtual int32_t ResumeWorker();
  // Guard the worker flags for classes that need more than the atomic
  // flags give; the audio classes use their component lock instead.
  virtual void LockState() {}
  virtual void UnlockState() {}
  // The thread body; its result becomes the completion notice's wParam.
  virtual uint32_t Run() = 0;

  bool IsStarted() const { return m_started.load() != 0; }
  bool IsRunning() const { return m_running.load() != 0; }
  bool IsStopRequested() const { return m_stopRequest.load() != 0; }
  // True when called on this worker's own thread.
  bool IsOwnThread() const;

  // When `window` is non-zero, the ending thread posts `message` with
  // wParam = Run's result and lParam = `parameter`.
  void SetCompletionNotice(WindowId window, uint32_t message, intptr_t parameter);

 protected:
  Worker() = default;
  // Sets the stop request and waits 1000 ms; a thread still running then is
  // detached (it holds its own reference, so this cannot happen while Run
  // executes elsewhere; the case left is the thread releasing its own last
  // reference, where joining itself is impossible).
  ~Worker() override;

  void RequestStop() { m_stopRequest.store(1); }

 private:
  static void ThreadProcedure(Worker* self);
  // Joins an ended thread or, on its own thread, detaches it.
  void ReleaseThread();

  mutable std::mutex m_threadMutex;
  std::thread m_thread;                    // guarded by m_threadMutex
  bool m_everStarted = false;              // guarded by m_threadMutex
  std::atomic<uint32_t> m_started{0};      // set by the new thread as its first act
  std::atomic<uint32_t> m_running{0};      // 1 while Run executes
  std::atomic<uint32_t> m_stopRequest{0};  // read by run bodies
  ManualResetEvent m_startedEvent;
  ManualResetEvent m_endedEvent;
  std::atomic<WindowId> m_noticeWindow{0};
  std::atomic<uint32_t> m_noticeMessage{0};
  std::atomic<intptr_t> m_noticeParameter{0};
};

}  // namespace talvinor
