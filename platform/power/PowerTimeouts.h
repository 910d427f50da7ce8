#pragma once
#include <cstdint>
#include <string>

#include "platform/registry/Registry.h"

namespace talvinor {

// The power manager's suspend time-outs, in seconds (0: never suspend).
inline constexpr const wchar_t* kPowerTimeoutsKey = L"SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts";
inline constexpr const wchar_t* kBattSuspendTimeoutName = L"BattSuspendTimeout";
inline constexpr const wchar_t* kACSuspendTimeoutName = L"ACSuspendTimeout";
// What the power manager starts with where the store holds no time-out yet.
inline constexpr uint32_t kDefaultBattSuspendTimeout = 300;
inline constexpr uint32_t kDefaultACSuspendTimeout = 600;

// The named event that asks the power manager to read the time-outs again.
inline constexpr const char* kReloadActivityTimeoutsEvent = "PowerManager/ReloadActivityTimeouts";

// Where the power services keep their state: the registry that holds the
// time-outs and the name of the reload event (in the per-user namespace of
// named objects). Tests give each run a folder and an event of its own.
struct PowerScope {
  std::string registryFolder;
  std::string reloadEventName = kReloadActivityTimeoutsEvent;

  // The user's registry and the event's own name.
  static PowerScope ForUser();
  Registry OpenRegistry() const { return Registry(registryFolder); }
};

// The name of the shared object behind an event name: a POSIX object name
// holds no '/' after its first character, so '/' becomes '.'.
std::string ReloadEventObjectName(const std::string& eventName);

// Signals the reload event as the handset does (open, set, close). False,
// traced, when the event cannot be opened: no power manager listens.
bool SendReloadActivityTimeouts(const PowerScope& scope);

}  // namespace talvinor
