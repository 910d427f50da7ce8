#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "core/RefObject.h"
#include "platform/power/DisplayPower.h"
#include "platform/power/PowerTimeouts.h"

namespace talvinor {

class PowerManager;
class PowerServices;

// The keeper's option flags.
enum PowerKeeperFlags : uint32_t {
  kPowerKeeperDisplaySwitching = 0x1,  // may switch the display off: the recorder page's keeper, not the player's
};

// How the machine is kept from suspending while a recording or a playback
// runs (m_SusPrvMode).
enum class SuspendPrevention : uint32_t {
  None = 0,            // nothing is done
  IdleTimerReset = 1,  // the idle timer is reset every 5 seconds
  DummyKey = 2,        // a key no program acts on is pressed every 5 seconds
  TimeoutsOff = 3,     // the suspend time-outs are 0 from Begin to End
};
// The setting as read: values above 3 count as 1.
SuspendPrevention SuspendPreventionFrom(uint32_t setting);

// The program's own copies of the time-outs that a Begin switched off, kept
// in the registry until End has put them back.
inline constexpr const wchar_t* kPowerKeeperKey = L"Software\\Talvinor\\PowerKeeper";
inline constexpr const wchar_t* kSavedBattSuspendTimeoutName = L"SavedBattSuspendTimeout";
inline constexpr const wchar_t* kSavedACSuspendTimeoutName = L"SavedACSuspendTimeout";

// A source of GetTickCount values.
using TickSource = std::function<uint32_t()>;

// What a keeper acts through. The defaults are the desktop's services, the
// user's registry and GetTickCount.
struct PowerKeeperPlatform {
  PowerServices* services = nullptr;  // null: DesktopPowerServices(); not owned, must outlive the keeper
  PowerScope scope = PowerScope::ForUser();
  TickSource ticks;  // empty: GetTickCount
};

// Keeps the machine awake while a recording or a playback runs, in the way
// the settings choose, and, for recordings, switches the display off when
// the recording starts and again periodically. One per page; the recorder
// page's allows display switching, the player page's does not.
//
// The settings are read on every call, so a change applies at once. The
// time-outs that Begin switches off are kept both here and in the registry
// (kPowerKeeperKey) until End puts them back, so a run that never reaches End
// (a crash, a kill) is mended by RestoreAfterUnfinishedRun at the next start.
// All calls come from the UI thread.
class PowerKeeper : public RefObject {
 public:
  explicit PowerKeeper(uint32_t flags);
  PowerKeeper(uint32_t flags, PowerKeeperPlatform platform);

  // The recording or playback entered Running.
  void Begin();
  // It ended (Closed).
  void End();
  // Every tick of the page's refresh timer.
  void Tick();
  // Switches the display off now; false when this machine cannot.
  bool DisplayOff();
  bool QueryDisplayPower(DisplayPowerState* state);

  // Puts back time-outs that a run which ended without End left switched
  // off, and forgets the copies. For the running instance to call once at
  // start-up, before any Begin. True when a time-out was put back. A
  // time-out that is not 0 any more (set meanwhile) is left as it is.
  static bool RestoreAfterUnfinishedRun();
  static bool RestoreAfterUnfinishedRun(const PowerScope& scope);

  // The time-outs this keeper switched off and will put back (0: none).
  uint32_t SavedBatteryTimeout() const { return m_savedBattery; }
  uint32_t SavedMainsTimeout() const { return m_savedMains; }

 protected:
  // A keeper let go of between Begin and End puts the time-outs back first.
  ~PowerKeeper() override;

 private:
  uint32_t Now() const;
  void SwitchTimeoutsOff();
  void RestoreTimeouts();
  PowerServices& Services() const;

  const uint32_t m_flags;
  PowerKeeperPlatform m_platform;
  uint32_t m_lastKeepAwake = 0;   // tick of the last keep-awake action
  uint32_t m_lastDisplayOff = 0;  // tick of the last periodic display check
  uint32_t m_savedBattery = 0;    // seconds; 0: none saved
  uint32_t m_savedMains = 0;      // seconds; 0: none saved
  // Listens for the reload signal; started with the first Begin that switches time-outs off.
  std::shared_ptr<PowerManager> m_manager;
};

}  // namespace talvinor
