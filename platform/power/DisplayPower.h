#pragma once
#include <cstdint>

namespace talvinor {

// The display's power state, numbered as the handset's display driver
// reports it.
enum class DisplayPowerState : uint32_t {
  Unknown = 0,  // the driver said something else
  On = 1,
  Standby = 2,
  Suspend = 3,
  Off = 4,
};

// Switches the display off now: DPMS force-off where the X server has DPMS
// (switching DPMS on first when it is disabled), else the X screen saver is
// activated. False, traced, without an X display or when the server refuses.
// UI thread only.
bool SwitchDisplayOff();

// The display's power state: the DPMS level where the server has DPMS, else
// Off while the X screen saver is active and On while it is not. False,
// traced, when no display service answers. UI thread only.
bool QueryDisplayPower(DisplayPowerState* state);

}  // namespace talvinor
