#pragma once
#include <cstdint>
#include <optional>

#include "settings/WaveDeviceQuery.h"

namespace talvinor {

// The settings' view of the wave devices, answered by the wave layer
// (whichever backend is selected when a question is asked).
class WaveLayerDeviceQuery : public WaveDeviceQuery {
 public:
  uint32_t InputDeviceCount() override;
  uint32_t OutputDeviceCount() override;
  // The device's dwFormats; nullopt when its capabilities cannot be read or
  // it offers no standard format.
  std::optional<uint32_t> InputCapabilities(uint32_t deviceId) override;
};

// Makes the settings ask the wave layer from now on; the program and
// talvinor-cli call it at start-up.
void InstallWaveDeviceQuery();

}  // namespace talvinor
