#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/ipc/NamedEvent.h"
#include "platform/power/PowerTimeouts.h"
#include "platform/power/SleepInhibitor.h"

class QObject;

namespace talvinor {

// The part of the handset's power manager that Talvinor relies on, inside
// this process: it waits on the reload event on a thread of its own and, on
// every signal, reads both suspend time-outs again; while both are 0 (never
// suspend) it holds a logind sleep inhibitor, and it lets go of it as soon as
// either is set again. A time-out that is missing or not a REG_DWORD does
// not count as 0, so a damaged store never keeps the machine awake.
//
// The signal travels only through the named event, so whoever sets it (this
// process or another) is heard. The re-read and the inhibitor run on the Qt
// application's thread; without a Qt application the time-outs are still
// read, but no inhibitor is taken.
//
// One manager per scope at a time, shared by everyone who acquires it and
// ended when the last holder lets go. Acquire and release on the thread of
// the Qt application (the UI thread).
class PowerManager {
 public:
  // The running manager of `scope`, started when there is none: missing
  // time-outs are stored with their defaults, then the event is made.
  static std::shared_ptr<PowerManager> Acquire(const PowerScope& scope);
  ~PowerManager();
  PowerManager(const PowerManager&) = delete;
  PowerManager& operator=(const PowerManager&) = delete;

  const PowerScope& Scope() const { return m_scope; }
  // The reload event was made and is being waited on.
  bool IsListening() const { return m_listening; }
  // Reloads handled so far (any thread).
  uint32_t ReloadsHandled() const { return m_reloads.load(); }
  // UI thread.
  InhibitorState Inhibitor() const;

 private:
  explicit PowerManager(const PowerScope& scope);
  void Start();
  void Stop();
  void StoreMissingDefaults();
  void Wait();          // the waiting thread
  void HandleReload();  // the UI thread, or the waiting thread without one

  const PowerScope m_scope;
  NamedEvent m_event;  // made before the thread starts, closed after it ends
  std::thread m_thread;
  std::atomic<bool> m_stopping{false};
  std::atomic<uint32_t> m_reloads{0};
  bool m_listening = false;
  // Both live on the UI thread; null without a Qt application there.
  std::unique_ptr<QObject> m_context;  // receives the reloads the thread hands over
  std::unique_ptr<SleepInhibitor> m_inhibitor;
};

}  // namespace talvinor
