#include "core/Worker.h"

#include "platform/Trace.h"

namespace talvinor {

namespace {
constexpr uint32_t kStartTimeoutMs = 3000;
constexpr uint32_t kDestroyWaitMs = 1000;
}  // namespace

Worker::~Worker() {
  RequestStop();
  std::lock_guard lock(m_threadMutex);
  if (!m_thread.joinable()) return;
  if (m_thread.get_id() == std::this_thread::get_id()) {
    // The thread dropped the last reference on its way out.
    m_thread.detach();
    return;
  }
  if (m_endedEvent.Wait(kDestroyWaitMs)) {
    m_thread.join();
  } else {
    Trace("Worker::~Worker - thread did not end, detached. type:%08xh\r\n", GetTypeCode());
    m_thread.detach();
  }
}

bool Worker::IsOwnThread() const {
  std::lock_guard lock(m_threadMutex);
  return m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id();
}

void Worker::SetCompletionNotice(WindowId window, uint32_t message, intptr_t parameter) {
  m_noticeMessage.store(message);
  m_noticeParameter.store(parameter);
  m_noticeWindow.store(window);
}

void Worker::ReleaseThread() {
  // m_threadMutex held.
  if (!m_thread.joinable()) return;
  if (m_thread.get_id() == std::this_thread::get_id()) {
    m_thread.detach();
  } else {
    m_thread.join();
  }
}

bool Worker::Start() {
  std::lock_guard lock(m_threadMutex);
  if (m_running.load() != 0) return false;
  if (m_thread.joinable()) {
    // The previous run's thread may still be on its way out: it has left Run
    // but not yet signalled. Never join a thread that could still be inside
    // Run (an earlier start that never reported).
    if (!m_endedEvent.Wait(kStartTimeoutMs)) return false;
    ReleaseThread();
  }
  m_started.store(0);
  m_startedEvent.Reset();
  m_endedEvent.Reset();
  // The thread's own reference, handed over to it.
  AddRef();
  try {
    m_thread = std::thread(&Worker::ThreadProcedure, this);
  } catch (const std::system_error& e) {
    Trace("Worker::Start - thread creation failed: %s\r\n", e.what());
    m_endedEvent.Set();
    Release();
    return false;
  }
  m_everStarted = true;
  return m_startedEvent.Wait(kStartTimeoutMs);
}

void Worker::ThreadProcedure(Worker* self) {
  // Adopts the reference Start took for this thread.
  RefPtr<Worker> hold = RefPtr<Worker>::Adopt(self);
  self->LockState();
  self->m_started.store(1);
  self->m_running.store(1);
  self->m_stopRequest.store(0);
  self->UnlockState();
  self->m_startedEvent.Set();

  uint32_t result = self->Run();

  self->LockState();
  self->m_running.store(0);
  self->m_stopRequest.store(0);
  WindowId window = self->m_noticeWindow.load();
  if (window != 0) {
    PostMessage(window, self->m_noticeMessage.load(), result, self->m_noticeParameter.load());
  }
  self->UnlockState();
  self->m_endedEvent.Set();
  // `hold` releases the thread's reference here; when it was the last one the
  // destructor runs on this thread and detaches it.
}

bool Worker::Stop(uint32_t timeoutMs) {
  LockState();
  RequestStop();
  UnlockState();
  return Wait(timeoutMs);
}

bool Worker::Wait(uint32_t timeoutMs) {
  {
    std::lock_guard lock(m_threadMutex);
    if (!m_everStarted) return false;
    if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) {
      // A thread cannot wait for its own end.
      return false;
    }
  }
  if (!m_endedEvent.Wait(timeoutMs)) return false;
  std::lock_guard lock(m_threadMutex);
  ReleaseThread();
  return true;
}

int32_t Worker::SuspendWorker() { return -1; }
int32_t Worker::ResumeWorker() { return -1; }

}  // namespace talvinor
