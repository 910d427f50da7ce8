#include "core/WaveLayerDeviceQuery.h"

#include "platform/Trace.h"
#include "platform/wave/WaveAudio.h"

namespace talvinor {

uint32_t WaveLayerDeviceQuery::InputDeviceCount() { return waveInGetNumDevs(); }

uint32_t WaveLayerDeviceQuery::OutputDeviceCount() { return waveOutGetNumDevs(); }

std::optional<uint32_t> WaveLayerDeviceQuery::InputCapabilities(uint32_t deviceId) {
  WAVEINCAPS caps;
  const MMRESULT result = waveInGetDevCaps(deviceId, &caps);
  if (result != MMSYSERR_NOERROR) {
    Trace("WaveLayerDeviceQuery - input device %u: no capabilities (%u)\r\n", deviceId, result);
    return std::nullopt;
  }
  // The wave layer reports a device it cannot open now (no card, busy) with
  // no formats; that says nothing about what the device can record, and the
  // scenes must not be cut down for it.
  if (caps.dwFormats == 0) {
    Trace("WaveLayerDeviceQuery - input device %u offers no format now\r\n", deviceId);
    return std::nullopt;
  }
  return caps.dwFormats;
}

}  // namespace talvinor
