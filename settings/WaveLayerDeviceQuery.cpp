#include "settings/WaveLayerDeviceQuery.h"

#include "platform/wave/WaveAudio.h"

namespace talvinor {

uint32_t WaveLayerDeviceQuery::InputDeviceCount() { return waveInGetNumDevs(); }

uint32_t WaveLayerDeviceQuery::OutputDeviceCount() { return waveOutGetNumDevs(); }

std::optional<uint32_t> WaveLayerDeviceQuery::InputCapabilities(uint32_t deviceId) {
  WAVEINCAPS caps;
  if (waveInGetDevCaps(deviceId, &caps) != MMSYSERR_NOERROR) return std::nullopt;
  // The wave layer reports no format for a device it cannot open now (no
  // sound card, busy). Repairing the scenes against an empty mask would only
  // force every scene onto a fallback the device cannot record either, so an
  // empty mask counts as unreadable and the stored scenes are kept.
  if (caps.dwFormats == 0) return std::nullopt;
  return caps.dwFormats;
}

void InstallWaveDeviceQuery() { SetWaveDeviceQuery(Create<WaveLayerDeviceQuery>()); }

}  // namespace talvinor
