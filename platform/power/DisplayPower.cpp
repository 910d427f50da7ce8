#include "platform/power/DisplayPower.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include "platform/Trace.h"
#include "platform/power/XDisplayConnection.h"

namespace talvinor {

namespace {

bool HasDpms(Display* display) {
  int eventBase = 0, errorBase = 0;
  return DPMSQueryExtension(display, &eventBase, &errorBase) && DPMSCapable(display);
}

DisplayPowerState FromDpmsLevel(CARD16 level) {
  switch (level) {
    case DPMSModeOn: return DisplayPowerState::On;
    case DPMSModeStandby: return DisplayPowerState::Standby;
    case DPMSModeSuspend: return DisplayPowerState::Suspend;
    case DPMSModeOff: return DisplayPowerState::Off;
    default: return DisplayPowerState::Unknown;
  }
}

}  // namespace

bool SwitchDisplayOff() {
  XDisplayConnection& connection = XDisplayConnection::Shared();
  Display* display = connection.Get();
  if (!display) {
    Trace("SwitchDisplayOff - no X display\r\n");
    return false;
  }
  if (HasDpms(display)) {
    CARD16 level = 0;
    BOOL enabled = False;
    // A forced level is refused while DPMS is disabled.
    if (DPMSInfo(display, &level, &enabled) && !enabled) DPMSEnable(display);
    DPMSForceLevel(display, DPMSModeOff);
  } else {
    XForceScreenSaver(display, ScreenSaverActive);
  }
  if (!connection.Sync()) {
    Trace("SwitchDisplayOff - the X server refused\r\n");
    return false;
  }
  return true;
}

bool QueryDisplayPower(DisplayPowerState* state) {
  XDisplayConnection& connection = XDisplayConnection::Shared();
  Display* display = connection.Get();
  if (!display) {
    Trace("QueryDisplayPower - no X display\r\n");
    return false;
  }
  if (HasDpms(display)) {
    CARD16 level = 0;
    BOOL enabled = False;
    if (!DPMSInfo(display, &level, &enabled) || !connection.Sync()) {
      Trace("QueryDisplayPower - DPMSInfo failed\r\n");
      return false;
    }
    // With DPMS disabled the server never powers the display down.
    *state = enabled ? FromDpmsLevel(level) : DisplayPowerState::On;
    return true;
  }
  int eventBase = 0, errorBase = 0;
  if (XScreenSaverQueryExtension(display, &eventBase, &errorBase)) {
    XScreenSaverInfo info{};
    if (XScreenSaverQueryInfo(display, DefaultRootWindow(display), &info) && connection.Sync()) {
      *state = info.state == ScreenSaverOn ? DisplayPowerState::Off : DisplayPowerState::On;
      return true;
    }
  }
  Trace("QueryDisplayPower - the X server tells neither DPMS nor screen saver state\r\n");
  return false;
}

}  // namespace talvinor
