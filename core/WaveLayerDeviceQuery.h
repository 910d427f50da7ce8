#pragma once
#include "settings/WaveDeviceQuery.h"

namespace talvinor {

// The settings repairs' view of the wave devices, answered by the wave layer
// (ALSA in the program): the device counts and each input's capability mask.
class WaveLayerDeviceQuery : public WaveDeviceQuery {
  TALVINOR_CLASS_CODES(0x18132, 0x18130)

 public:
  uint32_t InputDeviceCount() override;
  uint32_t OutputDeviceCount() override;
  std::optional<uint32_t> InputCapabilities(uint32_t deviceId) override;
};

}  // namespace talvinor
