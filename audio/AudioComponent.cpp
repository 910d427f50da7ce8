#include "audio/AudioComponent.h"

#include "core/ScopedLock.h"
#include "platform/Clock.h"

namespace talvinor {

std::atomic<int32_t> AudioComponent::s_live{0};

namespace {
constexpr uint32_t kClosePollMs = 100;
constexpr uint32_t kClosePolls = 50;
constexpr uint32_t kIdleWaitMs = 1000;

bool MoveAccepted(ComponentState from, ComponentState to) {
  using S = ComponentState;
  if (from == to) return true;
  switch (to) {
    case S::Started: return from == S::Idle;
    case S::Running: return from == S::Started || from == S::ResumeRequested;
    case S::Stopping: return true;
    case S::Idle: return from == S::Stopping;
    case S::PauseRequested: return from == S::Running;
    case S::Paused: return from == S::PauseRequested;
    case S::ResumeRequested: return from == S::Paused;
    case S::Aborted:
      return from == S::Started || from == S::Running || from == S::PauseRequested || from == S::Paused ||
             from == S::ResumeRequested;
  }
  return false;
}
}  // namespace

AudioComponent::AudioComponent()
    : m_lock(Create<CriticalSectionObject>()),
      m_wakeEvent(Create<EventObject>()),
      m_inbox(Create<MessageQueue>(m_wakeEvent)) {
  s_live.fetch_add(1);
}

AudioComponent::~AudioComponent() {
  if (!Close()) {
    Wake();
    SetState(ComponentState::Stopping);
    RequestStop();
    Wait(3000);
  }
  // Released in this order: tags, peer, inbox (its messages too), event, lock.
  m_tags.clear();
  m_peer = nullptr;
  m_inbox->Clear();
  m_inbox = nullptr;
  m_wakeEvent = nullptr;
  s_live.fetch_sub(1);
}

bool AudioComponent::Stop(uint32_t timeoutMs) {
  if (!SetState(ComponentState::Stopping)) return false;
  // Waking the thread makes it notice the stop at once instead of at the end
  // of its current bounded wait.
  Wake();
  return Worker::Stop(timeoutMs);
}

bool AudioComponent::Close() {
  if (!IsRunning()) return true;
  Wake();
  for (uint32_t poll = 0; m_inbox->Count() != 0; ++poll) {
    if (poll >= kClosePolls) return false;
    Sleep(kClosePollMs);
  }
  return Stop(1000);
}

bool AudioComponent::Connect(RefPtr<MessageQueue> peer) {
  if (IsRunning()) return false;
  {
    Locker lock(m_lock.Get());
    m_wakeEvent = Create<EventObject>();
    m_inbox->SetEvent(m_wakeEvent);
    m_peer = std::move(peer);
    m_abortFlag = 0;
    // No run is in progress. A stop that reached the component just after
    // its last run had ended (a master stops a component it still saw
    // running) left it Stopping; the new run must not end at once.
    m_state = ComponentState::Idle;
  }
  if (Start()) return true;
  Locker lock(m_lock.Get());
  m_peer = nullptr;
  return false;
}

bool AudioComponent::RequestPause() {
  if (!IsRunning()) return false;
  if (!SetState(ComponentState::PauseRequested)) return false;
  Wake();
  return true;
}

bool AudioComponent::RequestResume() {
  if (!IsRunning()) return false;
  if (!SetState(ComponentState::ResumeRequested)) return false;
  Wake();
  return true;
}

void AudioComponent::Wake() { WakeEvent()->Set(); }

RefPtr<EventObject> AudioComponent::WakeEvent() {
  Locker lock(m_lock.Get());
  return m_wakeEvent;
}

RefPtr<MessageQueue> AudioComponent::Peer() {
  Locker lock(m_lock.Get());
  return m_peer;
}

ComponentState AudioComponent::GetState() {
  Locker lock(m_lock.Get());
  return m_state;
}

bool AudioComponent::GetAbortFlag() {
  Locker lock(m_lock.Get());
  return m_abortFlag != 0;
}

void AudioComponent::GetFormat(WaveFormat* format) {
  Locker lock(m_lock.Get());
  if (format) *format = m_format;
}

void AudioComponent::SetFormatLocked(const WaveFormat& format) {
  Locker lock(m_lock.Get());
  m_format = format;
}

uint32_t AudioComponent::GetInboxCount() { return m_inbox->Count(); }

void AudioComponent::AddTag(const std::wstring& name, const std::wstring& value) {
  Locker lock(m_lock.Get());
  m_tags.emplace_back(name, value);
}

uint32_t AudioComponent::GetTagCount() {
  Locker lock(m_lock.Get());
  return static_cast<uint32_t>(m_tags.size());
}

bool AudioComponent::GetTagName(uint32_t index, std::wstring* name) {
  Locker lock(m_lock.Get());
  if (!name || index >= m_tags.size()) return false;
  *name = m_tags[index].first;
  return true;
}

bool AudioComponent::GetTagValue(uint32_t index, std::wstring* value) {
  Locker lock(m_lock.Get());
  if (!value || index >= m_tags.size()) return false;
  *value = m_tags[index].second;
  return true;
}

void AudioComponent::ClearTags() {
  Locker lock(m_lock.Get());
  m_tags.clear();
}

bool AudioComponent::SetState(ComponentState state) {
  Locker lock(m_lock.Get());
  if (!MoveAccepted(m_state, state)) return false;
  if (state == ComponentState::Aborted) m_abortFlag = 1;
  m_state = state;
  return true;
}

void AudioComponent::Abort(StopReason reason) {
  Locker lock(m_lock.Get());
  PostToPeer(MakeAbortMessage(reason));
  switch (m_state) {
    case ComponentState::Started:
    case ComponentState::Running:
    case ComponentState::PauseRequested:
    case ComponentState::Paused:
    case ComponentState::ResumeRequested:
      SetState(ComponentState::Aborted);
      break;
    default:
      break;
  }
}

bool AudioComponent::PostToPeer(RefPtr<GraphMessage> message) {
  Locker lock(m_lock.Get());
  if (!m_peer) return false;
  return m_peer->Post(std::move(message));
}

uint32_t AudioComponent::Run() {
  SetState(ComponentState::Started);
  for (;;) {
    ComponentState state = GetState();
    switch (state) {
      case ComponentState::Started: {
        StopReason reason = SetupStep();
        if (reason != StopReason::None) {
          Abort(reason);
          continue;
        }
        // A stop or abort that arrived during set-up wins.
        if (GetState() == ComponentState::Started) ResumeStep();
        continue;
      }
      case ComponentState::ResumeRequested:
        ResumeStep();
        continue;
      case ComponentState::Running:
        ProcessStep();
        continue;
      case ComponentState::PauseRequested:
        SetState(ComponentState::Paused);
        continue;
      case ComponentState::Paused:
      case ComponentState::Aborted:
        WaitForWakeUnless([this, state] { return GetState() != state; }, kIdleWaitMs);
        continue;
      case ComponentState::Stopping:
        if (FinishStep()) break;
        continue;
      default:
        break;
    }
    break;
  }
  SetState(ComponentState::Idle);
  return 0;
}

}  // namespace talvinor
