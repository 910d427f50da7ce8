#include "audio/Master.h"

#include "core/ScopedLock.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {
constexpr uint32_t kTransitionalWaitMs = 3;
constexpr uint32_t kIdleWaitMs = 1000;
constexpr uint32_t kCloseWaitMs = 3000;
}  // namespace

Master::Master(PauseSupport pause)
    : m_lock(Create<CriticalSectionObject>()),
      m_pause(pause),
      m_inbox(Create<MessageQueue>()),
      m_wakeEvent(Create<EventObject>()) {
  m_inbox->SetEvent(m_wakeEvent);
}

Master::~Master() { m_inbox->Clear(); }

bool Master::RunEnded() {
  if (!IsRunning()) return true;
  return GetState() == MasterState::Closed && Wait(kCloseWaitMs) && !IsRunning();
}

bool Master::Start() {
  if (!RunEnded()) return false;
  {
    Locker lock(m_lock.Get());
    m_wakeEvent = Create<EventObject>();
    m_inbox->SetEvent(m_wakeEvent);
    m_stopReason = StopReason::None;
  }
  SetState(MasterState::Opening);
  if (Worker::Start()) return true;
  Locker lock(m_lock.Get());
  m_stopReason = StopReason::SetupFailure;
  SetStateIf(MasterState::Opening, MasterState::Closed);
  return false;
}

bool Master::Close() {
  if (!IsRunning()) return false;
  StopWithReason(0, StopReason::ByOwner);
  SignalWake();
  return Wait(kCloseWaitMs);
}

bool Master::Pause() {
  if (m_pause == PauseSupport::None || !SetStateIf(MasterState::Running, MasterState::Pausing)) return false;
  SignalWake();
  return true;
}

bool Master::Resume() {
  if (m_pause == PauseSupport::None || !SetStateIf(MasterState::Paused, MasterState::Resuming)) return false;
  SignalWake();
  return true;
}

StopPlan Master::PlanStop(MasterState /*state*/, StopReason /*recorded*/, StopReason /*reason*/) {
  return {StopEffect::Enter, MasterState::Stopping};
}

bool Master::StopWithReason(uint32_t timeoutMs, StopReason reason) {
  {
    Locker lock(m_lock.Get());
    if (m_state == MasterState::Closed) return false;
    StopPlan plan = PlanStop(m_state, m_stopReason, reason);
    switch (plan.effect) {
      case StopEffect::Refuse:
        return false;
      case StopEffect::RequestAgain:
        break;
      case StopEffect::ReplaceReason:
        m_stopReason = reason;
        break;
      case StopEffect::Enter:
        m_stopReason = reason;
        SetState(plan.state);
        break;
    }
  }
  LockState();
  RequestStop();
  UnlockState();
  return Wait(timeoutMs);
}

bool Master::IsTransitional(MasterState state) {
  return state != MasterState::Running && state != MasterState::Paused && state != MasterState::Closed;
}

uint32_t Master::Run() {
  SetStateIf(MasterState::Closed, MasterState::Opening);
  BeginRun();
  for (;;) {
    if (RefPtr<GraphMessage> message = m_inbox->Pop()) {
      HandleMessage(message.Get());
    } else {
      WaitForMessage(IsTransitional(GetState()) ? kTransitionalWaitMs : kIdleWaitMs);
    }
    StepResult result = Step(GetState());
    if (result == StepResult::Finished) break;
    if (result == StepResult::OutsideTable) StopWithReason(0, StopReason::BadState);
  }
  EndRun();
  m_inbox->Clear();
  SetState(MasterState::Closed);
  return 0;
}

void Master::HandleMessage(GraphMessage* message) {
  if (message->Kind() != MessageKind::Abort) {
    Dispatch(message);
    return;
  }
  Trace("Master::OnAbort - %08xh\r\n", message->First());
  StopWithReason(0, StopReasonFromCode(message->First()));
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

uint32_t Master::GetStepValue() {
  Locker lock(m_lock.Get());
  return m_step;
}

void Master::SetStepValue(uint32_t value) {
  Locker lock(m_lock.Get());
  m_step = value;
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
  m_step = 0;
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

}  // namespace talvinor
