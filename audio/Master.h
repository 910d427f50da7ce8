#pragma once
#include <cstdint>
#include <string>

#include "core/EventObject.h"
#include "audio/MessageQueue.h"
#include "audio/PlaybackFilter.h"
#include "audio/StopReason.h"
#include "audio/WaveFormat.h"
#include "core/Worker.h"
#include "core/CriticalSectionObject.h"
#include "platform/window/WindowMessages.h"

namespace talvinor {

// States of a master, posted in its state notices. Each kind of master uses
// the subset it lists.
enum class MasterState : uint32_t {
  Opening = 1,         // the thread has started and opens the device or files
  Running = 2,         // sound moves
  Stopping = 3,        // shutting the graph down
  Draining = 4,        // the stream has ended; what is queued still goes out
  Closed = 5,          // no run in progress (initial and final)
  Pausing = 6,         // a pause was asked for; the device is being stopped
  EndPausing = 7,      // the stream has ended and the master pauses once it has played out
  Paused = 8,          // paused
  Resuming = 9,        // the device is being restarted
};

// How far the thread has got with the call its current state asks for. The
// step is cleared on every state change, so each call is issued once per
// entry into a state. A master with more than one call in a state names its
// own steps.
enum class StateStep : uint32_t {
  Pending = 0,  // not issued yet
  Issued = 1,   // issued; later passes wait for its effect
};

// Whether the owner can pause a master.
enum class PauseSupport {
  None,    // Pause and Resume are refused
  Device,  // Running -> Pausing and Paused -> Resuming; the thread does the rest
};

// What a stop asked of a master does, by that master's rules.
enum class StopEffect {
  Refuse,         // nothing changes and no stop is requested
  RequestAgain,   // the recorded reason and the state stay; the stop is requested
  ReplaceReason,  // the reason replaces the recorded one; the state stays
  Enter,          // the reason is recorded and the master enters StopPlan::state
};

struct StopPlan {
  StopEffect effect = StopEffect::Refuse;
  MasterState state = MasterState::Stopping;  // entered with StopEffect::Enter
};

// What one pass of the thread over the current state came to.
enum class StepResult {
  Continue,      // the run goes on
  Finished,      // the stop or drain has completed: the run ends
  OutsideTable,  // the master has no step for this state: it stops with BadState
};

// The node that owns a sound device or, for conversions, only files. It runs
// its own thread, drives its head component and file workers by messages, and
// tells its owner of every state change by a posted window message whose
// wParam holds the new state (low 16 bits) and the old one (high 16 bits).
//
// The run's lifecycle is the same for every master and lives here: Start,
// Close, Pause and Resume, the stop with its reason, and the thread, which
// takes one message at a time (an Abort becomes a stop with its code), then
// takes one step of the current state, until a stop or drain completes. Each
// kind of master supplies what differs: the rules of a stop (PlanStop), its
// messages (Dispatch), its steps (Step), the states it polls (IsTransitional)
// and what it closes at the end of a run (EndRun).
//
// The thread holds a reference to its master while it runs, so a master is
// never destroyed during a run.
class Master : public Worker {
  TALVINOR_CLASS_CODES(0x1210)

 public:
  // Starts a run: refused while one is in progress. Clears the stop reason,
  // enters Opening (its notice is posted before this returns, so a Close
  // right after it always finds a run to stop) and starts the thread. A
  // thread that cannot be started leaves the master Closed with SetupFailure.
  bool Start() final;
  // Ends the run with ByOwner and waits up to 3000 ms for it; false when no
  // thread runs.
  bool Close();
  // Running -> Pausing and Paused -> Resuming, for masters that can pause;
  // false otherwise.
  bool Pause();
  bool Resume();
  // Device operations; the base supports none of them.
  virtual uint32_t GetPosition() { return 0; }
  virtual uint32_t GetLength() { return 0; }
  virtual bool Seek(uint32_t /*milliseconds*/) { return false; }
  virtual bool ClearFilters() { return false; }
  virtual bool AddFilter(RefPtr<PlaybackFilter> /*filter*/) { return false; }
  MasterState GetState();
  bool IsState(MasterState state);
  StopReason GetStopReason();
  // Copies the sound format; false for a null destination.
  bool GetFormat(WaveFormat* format);
  void GetFileName(std::wstring* name);
  // Where state notices go (window 0: nowhere).
  void SetNotify(WindowId window, uint32_t message, intptr_t parameter);
  // True once the state is `state`, testing every `pollMs`; false when
  // `timeoutMs` passes first.
  bool WaitForState(MasterState state, uint32_t timeoutMs, uint32_t pollMs);
  // Stores the state, clears the step and posts the notice when the state
  // changed.
  void SetState(MasterState state);
  // Stops the run with `reason` by the master's rules (PlanStop), requests
  // the stop and waits up to `timeoutMs` for the thread. A closed master
  // refuses every stop: the reason that ended its run stays. False when
  // refused or when the thread has not ended in time.
  bool StopWithReason(uint32_t timeoutMs, StopReason reason);
  // The thread: the run loop every master shares.
  uint32_t Run() final;

  // The master's inbox, where its components and workers report.
  RefPtr<MessageQueue> Inbox() const { return m_inbox; }
  void SignalWake();

 protected:
  explicit Master(PauseSupport pause = PauseSupport::None);
  // Clears the inbox: its messages may hold the master's own workers, which
  // hold the inbox in turn.
  ~Master() override;

  // What a stop with `reason` does in `state` when `recorded` is the reason
  // stored so far; asked under m_lock, never once Closed. By default every
  // stop records its reason and enters Stopping.
  virtual StopPlan PlanStop(MasterState state, StopReason recorded, StopReason reason);
  // The states whose steps are retried every 3 ms; in the others the thread
  // waits up to 1000 ms for a message. By default every state but Running,
  // Paused and Closed.
  virtual bool IsTransitional(MasterState state);
  // The first act of the thread, once the run is Opening.
  virtual void BeginRun() {}
  // Handles a message other than Abort.
  virtual void Dispatch(GraphMessage* /*message*/) {}
  // One pass over `state`, taken after each message or wait.
  virtual StepResult Step(MasterState state) = 0;
  // Closes what the run opened once its stop or drain has completed; the
  // inbox is cleared and Closed entered afterwards.
  virtual void EndRun() {}

  // True once no run is in progress. A run that has posted Closed is only
  // leaving its thread, so it is waited for: an owner may start again as
  // soon as it sees Closed.
  bool RunEnded();
  // Moves from `expected` to `state` only when the state is still `expected`
  // (an owner's Close may have moved it on meanwhile).
  bool SetStateIf(MasterState expected, MasterState state);
  template <typename Step>
  Step GetStep() {
    return static_cast<Step>(GetStepValue());
  }
  template <typename Step>
  void SetStep(Step step) {
    SetStepValue(static_cast<uint32_t>(step));
  }
  void SetFormatLocked(const WaveFormat& format);
  void SetFileNames(const std::wstring& fileName, const std::wstring& secondFileName);
  std::wstring GetSecondFileName();
  uint32_t GetDeviceId();
  void SetDeviceId(uint32_t device);
  // Resets the wake event and, unless the inbox has a message by then, waits
  // up to `timeoutMs`.
  void WaitForMessage(uint32_t timeoutMs);

  RefPtr<CriticalSectionObject> m_lock;

 private:
  // An Abort ends the run with its code; any other message is the master's.
  void HandleMessage(GraphMessage* message);
  uint32_t GetStepValue();
  void SetStepValue(uint32_t value);

  const PauseSupport m_pause;
  RefPtr<MessageQueue> m_inbox;
  RefPtr<EventObject> m_wakeEvent;                // guarded by m_lock
  WindowId m_noticeWindow = 0;                    // guarded by m_lock
  uint32_t m_noticeMessage = 0;                   // guarded by m_lock
  intptr_t m_noticeParameter = 0;                 // guarded by m_lock
  uint32_t m_step = 0;                            // guarded by m_lock
  MasterState m_state = MasterState::Closed;      // guarded by m_lock
  StopReason m_stopReason = StopReason::None;     // guarded by m_lock
  WaveFormat m_format;                            // guarded by m_lock
  uint32_t m_deviceId = 0;                        // guarded by m_lock
  std::wstring m_fileName;                        // guarded by m_lock
  std::wstring m_secondFileName;                  // guarded by m_lock
};

}  // namespace talvinor
