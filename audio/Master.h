#pragma once
#include <cstdint>
#include <string>

#include "core/EventObject.h"
#include "audio/MessageQueue.h"
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
  EndPausing = 7,      // the stream has ended and flags bit 0 asks to pause after playing out
  Paused = 8,          // paused
  Resuming = 9,        // the device is being restarted
};

// The node that owns a sound device or, for conversions, only files. It runs
// its own thread, drives its head component and file workers by messages, and
// tells its owner of every state change by a posted window message whose
// wParam holds the new state (low 16 bits) and the old one (high 16 bits).
class Master : public Worker {
  TALVINOR_CLASS_CODES(0x1210)

 public:
  // Recreates the wake event, moves to Opening and starts the thread;
  // refused while running.
  bool Start() override;

  // 9. Ends the run with reason 1: false when not running.
  virtual bool Close();
  // 10.-16. Device operations; the base supports none of them.
  virtual bool Pause() { return false; }
  virtual bool Resume() { return false; }
  virtual uint32_t GetPosition() { return 0; }
  virtual uint32_t GetLength() { return 0; }
  virtual bool Seek(uint32_t /*milliseconds*/) { return false; }
  virtual bool ClearFilters() { return false; }
  virtual bool AddFilter(RefPtr<RefObject> /*filter*/) { return false; }
  // 17.-19.
  virtual MasterState GetState();
  virtual bool IsState(MasterState state);
  virtual StopReason GetStopReason();
  // 20. Copies the sound format; false for a null destination.
  virtual bool GetFormat(WaveFormat* format);
  // 21.
  virtual void GetFileName(std::wstring* name);
  // 22. Where state notices go (window 0: nowhere).
  virtual void SetNotify(WindowId window, uint32_t message, intptr_t parameter);
  // 23. True once the state is `state`, testing every `pollMs`; false when
  // `timeoutMs` passes first.
  virtual bool WaitForState(MasterState state, uint32_t timeoutMs, uint32_t pollMs);
  // 24. Stores the state, clears the step flag and posts the notice when the
  // state changed.
  virtual void SetState(MasterState state);
  // 25. Stores the reason, moves to Stopping, requests the stop and waits.
  virtual bool StopWithReason(uint32_t timeoutMs, StopReason reason);

  // The master's inbox, where its components and workers report.
  RefPtr<MessageQueue> Inbox() const { return m_inbox; }
  void SignalWake();

 protected:
  Master();
  // Clears the inbox: its messages may hold the master's own workers, which
  // hold the inbox in turn.
  ~Master() override;

  // Moves from `expected` to `state` only when the state is still `expected`
  // (an owner's Close may have moved it on meanwhile).
  bool SetStateIf(MasterState expected, MasterState state);
  void StoreStopReason(StopReason reason);
  uint32_t GetStepFlag();
  void SetStepFlag(uint32_t value);
  void SetFormatLocked(const WaveFormat& format);
  void SetFileNames(const std::wstring& fileName, const std::wstring& secondFileName);
  std::wstring GetSecondFileName();
  // Resets the wake event and, unless the inbox has a message by then, waits
  // up to `timeoutMs`.
  void WaitForMessage(uint32_t timeoutMs);
  uint32_t GetFlags();
  void SetFlags(uint32_t flags);

  RefPtr<CriticalSectionObject> m_lock;

 private:
  RefPtr<MessageQueue> m_inbox;
  RefPtr<EventObject> m_wakeEvent;               // guarded by m_lock
  WindowId m_noticeWindow = 0;                   // guarded by m_lock
  uint32_t m_noticeMessage = 0;                  // guarded by m_lock
  intptr_t m_noticeParameter = 0;                // guarded by m_lock
  uint32_t m_stepFlag = 0;                       // guarded by m_lock
  MasterState m_state = MasterState::Closed;     // guarded by m_lock
  StopReason m_stopReason = StopReason::None;             // guarded by m_lock
  WaveFormat m_format;                           // guarded by m_lock
  uint32_t m_deviceId = 0;                       // guarded by m_lock
  std::wstring m_fileName;                       // guarded by m_lock
  std::wstring m_secondFileName;                 // guarded by m_lock
  uint32_t m_flags = 0;                          // guarded by m_lock

 public:
  uint32_t GetDeviceId();
  void SetDeviceId(uint32_t device);
};

}  // namespace talvinor
