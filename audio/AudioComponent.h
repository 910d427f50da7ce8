#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/EventObject.h"
#include "audio/MessageQueue.h"
#include "audio/StopReason.h"
#include "audio/WaveFormat.h"
#include "core/Worker.h"
#include "core/CriticalSectionObject.h"

namespace talvinor {

// States of a component; SetState accepts only the moves of its table.
enum class ComponentState : uint32_t {
  Started = 1,          // thread running, set-up step pending
  Running = 2,          // processing
  Stopping = 3,         // finishing step pending (flush, trailer)
  Idle = 5,             // no run in progress (initial and final)
  PauseRequested = 6,   // owner asked to pause
  Paused = 7,           // idle until resumed
  ResumeRequested = 8,  // resume step pending (a seek is carried out here)
  Aborted = 255,        // failed; idles until its master stops it
};

// The base of every threaded audio component (encoders and file sources).
//
// Its Run is the one run loop of all components: each class supplies the
// set-up, resume, processing and finishing steps. The component reports to a
// peer queue (its master's inbox) and is woken through its own inbox.
class AudioComponent : public Worker {
  TALVINOR_CLASS_CODES(0x20011, 0x1210)

 public:
  // Moves to Stopping (refused moves fail), then stops the thread.
  bool Stop(uint32_t timeoutMs) override;
  uint32_t Run() override;

  // Lets the inbox drain (up to 50 polls of 100 ms), then Stop(1000).
  // True at once when the thread does not run.
  virtual bool Close();
  // Starts a run that reports to `peer`, from Idle; refused while running.
  virtual bool Connect(RefPtr<MessageQueue> peer);
  // Only while running: ask for Paused / for Running again.
  virtual bool RequestPause();
  virtual bool RequestResume();
  // Signals the wake event.
  virtual void Wake();

  ComponentState GetState();
  bool GetAbortFlag();
  void GetFormat(WaveFormat* format);
  uint32_t GetInboxCount();
  void AddTag(const std::wstring& name, const std::wstring& value);
  uint32_t GetTagCount();
  bool GetTagName(uint32_t index, std::wstring* name);
  bool GetTagValue(uint32_t index, std::wstring* value);
  void ClearTags();
  // The transition check: true when `state` is the current state or a move
  // the table accepts; a refused move changes nothing.
  bool SetState(ComponentState state);
  // Reports `reason` to the peer and, from Started, Running, PauseRequested,
  // Paused or ResumeRequested, moves to Aborted.
  void Abort(StopReason reason);

  // Components alive in the process, for leak checks.
  static int32_t LiveCount() { return s_live.load(); }

 protected:
  AudioComponent();
  // Close; when that fails, wake, move to Stopping, request the stop and
  // wait 3000 ms. Then the members are released.
  ~AudioComponent() override;

  // The four steps of the run loop.
  // Set-up (state Started): StopReason::None on success, else the reason to
  // report.
  virtual StopReason SetupStep() { return StopReason::None; }
  // Resume (state ResumeRequested); also follows a successful set-up.
  virtual void ResumeStep() { SetState(ComponentState::Running); }
  // One processing step (state Running): take one message or buffer.
  virtual void ProcessStep() { WaitForWake(1000); }
  // Finishing (state Stopping): true once finished.
  virtual bool FinishStep() { return true; }

  // Posts `message` to the peer under the component lock; false without a
  // peer.
  bool PostToPeer(RefPtr<GraphMessage> message);
  // Resets the wake event and, unless `ready` holds afterwards, waits up to
  // `timeoutMs` for it. Resetting before the last check means a wake-up sent
  // in between is never lost.
  template <typename Ready>
  void WaitForWakeUnless(Ready ready, uint32_t timeoutMs) {
    RefPtr<EventObject> event = WakeEvent();
    event->Reset();
    if (ready()) return;
    event->Wait(timeoutMs);
  }
  void WaitForWake(uint32_t timeoutMs) {
    WaitForWakeUnless([this] { return m_inbox->Count() != 0; }, timeoutMs);
  }
  RefPtr<EventObject> WakeEvent();
  MessageQueue* Inbox() const { return m_inbox.Get(); }
  RefPtr<MessageQueue> Peer();
  // Sets the sound format under the lock.
  void SetFormatLocked(const WaveFormat& format);

  RefPtr<CriticalSectionObject> m_lock;
  // Field of the lock's owner; Run's steps read and write it under m_lock.
  WaveFormat m_format;  // guarded by m_lock

 private:
  RefPtr<EventObject> m_wakeEvent;                              // guarded by m_lock
  RefPtr<MessageQueue> m_inbox;                                 // set at creation
  RefPtr<MessageQueue> m_peer;                                  // guarded by m_lock
  std::vector<std::pair<std::wstring, std::wstring>> m_tags;    // guarded by m_lock
  ComponentState m_state = ComponentState::Idle;                // guarded by m_lock
  uint32_t m_abortFlag = 0;                                     // guarded by m_lock
  static std::atomic<int32_t> s_live;
};

}  // namespace talvinor
