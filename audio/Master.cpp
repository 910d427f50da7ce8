#include "audio/Master.h"

#include "core/ScopedLock.h"
#include "platform/Clock.h"

namespace talvinor {

Master::Master()
    : m_lock(Create<CriticalSectionObject>()),
      m_inbox(Create<MessageQueue>()),
      m_wakeEvent(Create<EventObject>()) {
  m_inbox->SetEvent(m_wakeEvent);
}

Master::~Master() { m_inbox->Clear(); }

bool Master::Start() {
  if (IsRunning()) return false;
  {
    Locker lock(m_lock.Get());
    m_wakeEvent = Create<EventObject>();
    m_inbox->SetEvent(m_wakeEvent);
    m_stopReason = StopReason::None;
  }
  // Opening from the moment Start returns, so an owner that waits for Closed
  // right after starting never mistakes the run for one already over.
  SetState(MasterState::Opening);
  if (Worker::Start()) return true;
  SetState(MasterState::Closed);
  return false;
}

bool Master::Close() {
  if (!IsRunning()) return false;
  StopWithReason(0, StopReason::ByOwner);
  SignalWake();
  return Wait(3000);
}

void Master::SignalWake() {
  RefPtr<EventObject> event;
  {
    Locker lock(m_lock.Get());
    event = m_wakeEvent;
  }
  event->Set();
}

void Master::WaitForMessage(uint32_t timeoutMs) {
  RefPtr<EventObject> event;
  {
    Locker lock(m_lock.Get());
    event = m_wakeEvent;
  }
  event->Reset();
  if (m_inbox->Count() != 0) return;
  event->Wait(timeoutMs);
}

MasterState Master::GetState() {
  Locker lock(m_lock.Get());
  return m_state;
}

bool Master::IsState(MasterState state) { return GetState() == state; }

StopReason Master::GetStopReason() {
  Locker lock(m_lock.Get());
  return m_stopReason;
}

void Master::StoreStopReason(StopReason reason) {
  Locker lock(m_lock.Get());
  m_stopReason = reason;
}

bool Master::GetFormat(WaveFormat* format) {
  if (!format) return false;
  Locker lock(m_lock.Get());
  *format = m_format;
  return true;
}

void Master::SetFormatLocked(const WaveFormat& format) {
  Locker lock(m_lock.Get());
  m_format = format;
}

void Master::GetFileName(std::wstring* name) {
  Locker lock(m_lock.Get());
  if (name) *name = m_fileName;
}

std::wstring Master::GetSecondFileName() {
  Locker lock(m_lock.Get());
  return m_secondFileName;
}

void Master::SetFileNames(const std::wstring& fileName, const std::wstring& secondFileName) {
  Locker lock(m_lock.Get());
  m_fileName = fileName;
  m_secondFileName = secondFileName;
}

uint32_t Master::GetDeviceId() {
  Locker lock(m_lock.Get());
  return m_deviceId;
}

void Master::SetDeviceId(uint32_t device) {
  Locker lock(m_lock.Get());
  m_deviceId = device;
}

uint32_t Master::GetFlags() {
  Locker lock(m_lock.Get());
  return m_flags;
}

void Master::SetFlags(uint32_t flags) {
  Locker lock(m_lock.Get());
  m_flags = flags;
}

uint32_t Master::GetStepFlag() {
  Locker lock(m_lock.Get());
  return m_stepFlag;
}

void Master::SetStepFlag(uint32_t value) {
  Locker lock(m_lock.Get());
  m_stepFlag = value;
}

void Master::SetNotify(WindowId window, uint32_t message, intptr_t parameter) {
  Locker lock(m_lock.Get());
  m_noticeWindow = window;
  m_noticeMessage = message;
  m_noticeParameter = parameter;
}

bool Master::WaitForState(MasterState state, uint32_t timeoutMs, uint32_t pollMs) {
  uint32_t start = GetTickCount();
  for (;;) {
    if (IsState(state)) return true;
    if (TicksSince(start, GetTickCount()) > timeoutMs) return false;
    Sleep(pollMs);
  }
}

void Master::SetState(MasterState state) {
  Locker lock(m_lock.Get());
  MasterState old = m_state;
  m_stepFlag = 0;
  m_state = state;
  // Posting under the lock keeps notices in the order of the changes.
  if (state != old && m_noticeWindow != 0) {
    uintptr_t wParam = (static_cast<uint32_t>(state) & 0xFFFFu) | ((static_cast<uint32_t>(old) & 0xFFFFu) << 16);
    PostMessage(m_noticeWindow, m_noticeMessage, wParam, m_noticeParameter);
  }
}

bool Master::SetStateIf(MasterState expected, MasterState state) {
  Locker lock(m_lock.Get());
  if (m_state != expected) return false;
  SetState(state);
  return true;
}

bool Master::StopWithReason(uint32_t timeoutMs, StopReason reason) {
  StoreStopReason(reason);
  SetState(MasterState::Stopping);
  LockState();
  RequestStop();
  UnlockState();
  return Wait(timeoutMs);
}

}  // namespace talvinor
