#include "recorder/PowerKeeper.h"

#include <utility>

#include "platform/Clock.h"
#include "platform/Trace.h"
#include "platform/power/PowerManager.h"
#include "platform/power/PowerServices.h"
#include "settings/ConfigStore.h"

namespace talvinor {

namespace {

// The keep-awake action runs when more than this has passed since the last.
constexpr uint32_t kKeepAwakePeriodMs = 5000;

// A time-out as the handset reads it: only a REG_DWORD of 4 bytes counts,
// anything else is 0 and so is neither changed nor put back.
uint32_t ReadTimeout(const RegistryContents& contents, const wchar_t* key, const wchar_t* name) {
  uint32_t value = 0;
  const RegistryValue* stored = contents.Find(key, name);
  if (!stored || !stored->AsDword(&value)) return 0;
  return value;
}

}  // namespace

SuspendPrevention SuspendPreventionFrom(uint32_t setting) {
  return setting > 3 ? SuspendPrevention::IdleTimerReset : static_cast<SuspendPrevention>(setting);
}

PowerKeeper::PowerKeeper(uint32_t flags) : PowerKeeper(flags, PowerKeeperPlatform{}) {}

PowerKeeper::PowerKeeper(uint32_t flags, PowerKeeperPlatform platform)
    : m_flags(flags), m_platform(std::move(platform)) {}

PowerKeeper::~PowerKeeper() {
  if (m_savedBattery != 0 || m_savedMains != 0) RestoreTimeouts();
}

uint32_t PowerKeeper::Now() const { return m_platform.ticks ? m_platform.ticks() : GetTickCount(); }

PowerServices& PowerKeeper::Services() const {
  return m_platform.services ? *m_platform.services : DesktopPowerServices();
}

void PowerKeeper::Begin() {
  RefPtr<CONFIG> config = GetConfig();
  if (SuspendPreventionFrom(config->m_SusPrvMode) == SuspendPrevention::TimeoutsOff) SwitchTimeoutsOff();
  if ((m_flags & kPowerKeeperDisplaySwitching) && config->m_RecJustScrOff != 0) DisplayOff();
  const uint32_t now = Now();
  m_lastKeepAwake = now;
  m_lastDisplayOff = now;
}

void PowerKeeper::End() {
  // Whatever the setting says now: time-outs this keeper switched off always
  // go back, or they would stay off for good.
  if (m_savedBattery != 0 || m_savedMains != 0) RestoreTimeouts();
}

void PowerKeeper::Tick() {
  RefPtr<CONFIG> config = GetConfig();
  const uint32_t now = Now();
  const SuspendPrevention mode = SuspendPreventionFrom(config->m_SusPrvMode);
  if (TicksSince(m_lastKeepAwake, now) > kKeepAwakePeriodMs) {
    if (mode == SuspendPrevention::DummyKey) Services().SendDummyKey();
    m_lastKeepAwake = now;
    if (mode == SuspendPrevention::IdleTimerReset) Services().ResetIdleTimer();
  }
  if ((m_flags & kPowerKeeperDisplaySwitching) && config->m_RecAutoScrOff != 0 &&
      TicksSince(m_lastDisplayOff, now) > config->m_RecAutoScrOffCyc) {
    DisplayPowerState state = DisplayPowerState::Unknown;
    if (QueryDisplayPower(&state) && (state == DisplayPowerState::On || state == DisplayPowerState::Standby ||
                                      state == DisplayPowerState::Suspend))
      DisplayOff();
    m_lastDisplayOff = now;
  }
}

bool PowerKeeper::DisplayOff() { return Services().DisplayOff(); }

bool PowerKeeper::QueryDisplayPower(DisplayPowerState* state) { return Services().QueryDisplayPower(state); }

void PowerKeeper::SwitchTimeoutsOff() {
  if (!m_manager) m_manager = PowerManager::Acquire(m_platform.scope);
  // A Begin that follows another without End (a recording resumed after a
  // pause) finds the time-outs it switched off itself at 0: it keeps what it
  // saved then, or End would have nothing to put back.
  uint32_t battery = m_savedBattery;
  uint32_t mains = m_savedMains;
  bool switched = false;
  Registry registry = m_platform.scope.OpenRegistry();
  // One change of the store: the copies are never missing while a time-out is 0.
  const bool written = registry.Update([&](RegistryContents& contents) {
    if (uint32_t value = ReadTimeout(contents, kPowerTimeoutsKey, kBattSuspendTimeoutName); value != 0) {
      battery = value;
      contents.Set(kPowerTimeoutsKey, kBattSuspendTimeoutName, RegistryValue::FromDword(0));
      switched = true;
    }
    if (uint32_t value = ReadTimeout(contents, kPowerTimeoutsKey, kACSuspendTimeoutName); value != 0) {
      mains = value;
      contents.Set(kPowerTimeoutsKey, kACSuspendTimeoutName, RegistryValue::FromDword(0));
      switched = true;
    }
    if (switched) {
      if (battery != 0)
        contents.Set(kPowerKeeperKey, kSavedBattSuspendTimeoutName, RegistryValue::FromDword(battery));
      if (mains != 0) contents.Set(kPowerKeeperKey, kSavedACSuspendTimeoutName, RegistryValue::FromDword(mains));
    }
  });
  if (!written) {
    Trace("PowerKeeper::Begin - the suspend time-outs could not be switched off\r\n");
    return;
  }
  m_savedBattery = battery;
  m_savedMains = mains;
  if (switched) SendReloadActivityTimeouts(m_platform.scope);
}

void PowerKeeper::RestoreTimeouts() {
  const uint32_t battery = m_savedBattery;
  const uint32_t mains = m_savedMains;
  m_savedBattery = 0;
  m_savedMains = 0;
  Registry registry = m_platform.scope.OpenRegistry();
  const bool written = registry.Update([&](RegistryContents& contents) {
    if (battery != 0) contents.Set(kPowerTimeoutsKey, kBattSuspendTimeoutName, RegistryValue::FromDword(battery));
    if (mains != 0) contents.Set(kPowerTimeoutsKey, kACSuspendTimeoutName, RegistryValue::FromDword(mains));
    contents.Remove(kPowerKeeperKey, kSavedBattSuspendTimeoutName);
    contents.Remove(kPowerKeeperKey, kSavedACSuspendTimeoutName);
  });
  if (!written) {
    // The copies stay in the store for the next start.
    Trace("PowerKeeper::End - the suspend time-outs could not be put back\r\n");
    return;
  }
  SendReloadActivityTimeouts(m_platform.scope);
}

bool PowerKeeper::RestoreAfterUnfinishedRun() { return RestoreAfterUnfinishedRun(PowerScope::ForUser()); }

bool PowerKeeper::RestoreAfterUnfinishedRun(const PowerScope& scope) {
  bool restored = false;
  Registry registry = scope.OpenRegistry();
  const bool written = registry.Update([&](RegistryContents& contents) {
    const uint32_t battery = ReadTimeout(contents, kPowerKeeperKey, kSavedBattSuspendTimeoutName);
    const uint32_t mains = ReadTimeout(contents, kPowerKeeperKey, kSavedACSuspendTimeoutName);
    if (battery != 0 && ReadTimeout(contents, kPowerTimeoutsKey, kBattSuspendTimeoutName) == 0) {
      contents.Set(kPowerTimeoutsKey, kBattSuspendTimeoutName, RegistryValue::FromDword(battery));
      restored = true;
    }
    if (mains != 0 && ReadTimeout(contents, kPowerTimeoutsKey, kACSuspendTimeoutName) == 0) {
      contents.Set(kPowerTimeoutsKey, kACSuspendTimeoutName, RegistryValue::FromDword(mains));
      restored = true;
    }
    contents.Remove(kPowerKeeperKey, kSavedBattSuspendTimeoutName);
    contents.Remove(kPowerKeeperKey, kSavedACSuspendTimeoutName);
  });
  if (!written) {
    Trace("PowerKeeper::RestoreAfterUnfinishedRun - the registry could not be updated\r\n");
    return false;
  }
  if (restored) {
    Trace("PowerKeeper::RestoreAfterUnfinishedRun - suspend time-outs of an unfinished run put back\r\n");
    SendReloadActivityTimeouts(scope);
  }
  return restored;
}

}  // namespace talvinor
