#include "platform/wave/AlsaWaveBackend.h"

#include <alsa/asoundlib.h>

#include <cstdlib>

#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "platform/wave/AlsaPcmEndpoint.h"

namespace talvinor {
namespace {

// A hint text, freed as ALSA asks; empty when absent.
std::string HintText(void* hint, const char* id) {
  char* text = snd_device_name_get_hint(hint, id);
  if (!text) return {};
  std::string result(text);
  std::free(text);
  return result;
}

}  // namespace

AlsaWaveBackend& AlsaWaveBackend::Instance() {
  static AlsaWaveBackend backend;
  return backend;
}

AlsaWaveBackend::AlsaWaveBackend() { AlsaPcmEndpoint::InstallErrorHandler(); }

std::vector<AlsaWaveBackend::DeviceName> AlsaWaveBackend::ListDevices(WaveDirection direction) {
  std::vector<DeviceName> devices{{"default", ""}};
  void** hints = nullptr;
  if (int r = snd_device_name_hint(-1, "pcm", &hints); r < 0) {
    Trace("ALSA snd_device_name_hint (pcm): %s (%d); only \"default\" is listed\r\n", snd_strerror(r), r);
    return devices;
  }
  const char* wanted = direction == WaveDirection::Input ? "Input" : "Output";
  for (void** hint = hints; *hint; ++hint) {
    std::string name = HintText(*hint, "NAME");
    std::string io = HintText(*hint, "IOID");
    // No IOID means the PCM works both ways.
    if (name.empty() || (!io.empty() && io != wanted)) continue;
    std::string description = HintText(*hint, "DESC");
    for (char& c : description)
      if (c == '\n') c = ' ';
    if (name == "default") {
      devices[0].description = description;
      continue;
    }
    bool listed = false;
    for (const DeviceName& d : devices) listed = listed || d.name == name;
    if (!listed) devices.push_back({name, description});
  }
  if (int r = snd_device_name_free_hint(hints); r < 0)
    Trace("ALSA snd_device_name_free_hint: %s (%d)\r\n", snd_strerror(r), r);
  return devices;
}

uint32_t AlsaWaveBackend::DeviceCount(WaveDirection direction) {
  return static_cast<uint32_t>(ListDevices(direction).size());
}

MMRESULT AlsaWaveBackend::DeviceCaps(WaveDirection direction, uint32_t id, WAVEINCAPS* caps) {
  std::vector<DeviceName> devices = ListDevices(direction);
  if (id >= devices.size()) return MMSYSERR_BADDEVICEID;
  const DeviceName& device = devices[id];
  caps->szPname = Utf8ToWide(device.name);
  caps->szDescription = Utf8ToWide(device.description);
  caps->dwFormats = 0;
  caps->wChannels = 0;
  snd_pcm_t* pcm = nullptr;
  snd_pcm_stream_t stream = direction == WaveDirection::Input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
  // A device that cannot be opened now (no card, busy) exists but offers no format.
  if (int r = snd_pcm_open(&pcm, device.name.c_str(), stream, SND_PCM_NONBLOCK); r < 0) {
    Trace("ALSA snd_pcm_open on \"%s\" for its capabilities: %s (%d)\r\n", device.name.c_str(), snd_strerror(r), r);
    return MMSYSERR_NOERROR;
  }
  caps->dwFormats = AlsaPcmEndpoint::TestStandardFormats(pcm, device.name);
  if (int r = snd_pcm_close(pcm); r < 0)
    Trace("ALSA snd_pcm_close on \"%s\": %s (%d)\r\n", device.name.c_str(), snd_strerror(r), r);
  if (caps->dwFormats & 0xAAA)
    caps->wChannels = 2;
  else if (caps->dwFormats)
    caps->wChannels = 1;
  return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveBackend::Open(WaveDirection direction, uint32_t id, const WAVEFORMATEX& format,
                               std::unique_ptr<WaveEndpoint>* endpoint) {
  std::vector<DeviceName> devices = ListDevices(direction);
  if (id >= devices.size()) return MMSYSERR_BADDEVICEID;
  return AlsaPcmEndpoint::Open(devices[id].name, direction, format, endpoint);
}

}  // namespace talvinor
