#include "platform/power/PowerServices.h"

#include "platform/power/DummyKey.h"
#include "platform/power/ScreenSaverActivity.h"

namespace talvinor {

namespace {

class DesktopServices : public PowerServices {
 public:
  bool ResetIdleTimer() override { return SimulateUserActivity(); }
  bool SendDummyKey() override { return SendDummyKeyPress(); }
  bool DisplayOff() override { return SwitchDisplayOff(); }
  bool QueryDisplayPower(DisplayPowerState* state) override { return talvinor::QueryDisplayPower(state); }
};

}  // namespace

PowerServices& DesktopPowerServices() {
  static DesktopServices services;
  return services;
}

}  // namespace talvinor
