#pragma once
#include <string>
#include <vector>

namespace talvinor {

// ModemManager's call states and directions (org.freedesktop.ModemManager1.Call).
enum class ModemCallState : int {
  Unknown = 0,
  Dialing = 1,
  RingingOut = 2,
  RingingIn = 3,
  Active = 4,
  Held = 5,
  Waiting = 6,
  Terminated = 7,
};
enum class ModemCallDirection : int { Unknown = 0, Incoming = 1, Outgoing = 2 };

// One voice call as ModemManager describes it.
struct ModemCall {
  std::string path;  // the call's object path: its identity while it exists
  ModemCallState state = ModemCallState::Unknown;
  ModemCallDirection direction = ModemCallDirection::Unknown;
  std::wstring number;
};

// Asks ModemManager on the system bus (DBUS_SYSTEM_BUS_ADDRESS, when set)
// for the voice calls of every modem that has the Voice interface. Calls are
// blocking and bounded by a time-out; no event loop is needed.
class ModemManagerCalls {
 public:
  ModemManagerCalls();
  ~ModemManagerCalls();
  ModemManagerCalls(const ModemManagerCalls&) = delete;
  ModemManagerCalls& operator=(const ModemManagerCalls&) = delete;

  // Every call of every voice modem. False when the bus or ModemManager
  // cannot be asked; LastError() then says why.
  bool ListCalls(std::vector<ModemCall>* calls);
  const std::string& LastError() const { return m_lastError; }

 private:
  bool Fail(const std::string& what);
  std::string m_lastError;
};

}  // namespace talvinor
