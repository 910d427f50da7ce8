#pragma once
#include <string>
#include <vector>

#include "platform/wave/WaveBackend.h"

namespace talvinor {

// The system's sound devices through ALSA. Device 0 is "default" (which
// reaches PipeWire or PulseAudio on a desktop); the others are the PCMs
// ALSA's name hints list for the direction, in their order. The list is
// read afresh on every call, so numbers follow the current configuration.
class AlsaWaveBackend : public WaveBackend {
 public:
  static AlsaWaveBackend& Instance();

  uint32_t DeviceCount(WaveDirection direction) override;
  MMRESULT DeviceCaps(WaveDirection direction, uint32_t id, WAVEINCAPS* caps) override;
  MMRESULT Open(WaveDirection direction, uint32_t id, const WAVEFORMATEX& format,
                std::unique_ptr<WaveEndpoint>* endpoint) override;

  struct DeviceName {
    std::string name;         // what snd_pcm_open takes
    std::string description;  // the hint's description, lines joined
  };
  std::vector<DeviceName> ListDevices(WaveDirection direction);

 private:
  AlsaWaveBackend();
};

}  // namespace talvinor
