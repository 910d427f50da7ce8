#include "platform/power/PowerTimeouts.h"

#include "platform/Trace.h"
#include "platform/ipc/NamedEvent.h"

namespace talvinor {

PowerScope PowerScope::ForUser() { return PowerScope{Registry::UserFolder(), kReloadActivityTimeoutsEvent}; }

std::string ReloadEventObjectName(const std::string& eventName) {
  std::string name = eventName;
  for (char& c : name)
    if (c == '/') c = '.';
  return name;
}

bool SendReloadActivityTimeouts(const PowerScope& scope) {
  NamedEvent event;
  if (!event.Open(ReloadEventObjectName(scope.reloadEventName))) {
    Trace("SendReloadActivityTimeouts - no power manager listens on \"%s\"; skipped\r\n",
          scope.reloadEventName.c_str());
    return false;
  }
  if (!event.Set()) return false;
  Trace("SendReloadActivityTimeouts - \"%s\" signalled\r\n", scope.reloadEventName.c_str());
  return true;
}

}  // namespace talvinor
