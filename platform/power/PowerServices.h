#pragma once
#include "platform/power/DisplayPower.h"

namespace talvinor {

// The desktop services that keep the machine awake and switch the display,
// as one replaceable set: the keep-awake and screen rules act through it, and
// their tests put a recording stand-in in its place. UI thread only.
class PowerServices {
 public:
  virtual ~PowerServices() = default;
  // The idle-timer reset.
  virtual bool ResetIdleTimer() = 0;
  // The synthetic key press and release.
  virtual bool SendDummyKey() = 0;
  virtual bool DisplayOff() = 0;
  virtual bool QueryDisplayPower(DisplayPowerState* state) = 0;
};

// The desktop's own: the screen saver on the session bus and the X display
// (SimulateUserActivity, SendDummyKeyPress, SwitchDisplayOff,
// QueryDisplayPower). Lives as long as the process.
PowerServices& DesktopPowerServices();

}  // namespace talvinor
