#pragma once
#include <memory>

#include "platform/wave/WaveEndpoint.h"

namespace talvinor {

// A source of numbered devices. Implementations are process-wide objects
// and thread-safe.
class WaveBackend {
 public:
  virtual ~WaveBackend() = default;

  virtual uint32_t DeviceCount(WaveDirection direction) = 0;
  // Fills name, description, dwFormats and wChannels of device `id`.
  virtual MMRESULT DeviceCaps(WaveDirection direction, uint32_t id, WAVEINCAPS* caps) = 0;
  // Opens device `id` with a validated linear PCM format. With `endpoint`
  // null only tests whether the device would accept the format.
  virtual MMRESULT Open(WaveDirection direction, uint32_t id, const WAVEFORMATEX& format,
                        std::unique_ptr<WaveEndpoint>* endpoint) = 0;
};

}  // namespace talvinor
