#include "platform/wave/WaveAudio.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "platform/Trace.h"
#include "platform/wave/AlsaWaveBackend.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveInStream.h"
#include "platform/wave/WaveOutStream.h"

namespace talvinor {
namespace {

std::atomic<WaveBackendKind> g_backend{WaveBackendKind::Alsa};

WaveBackend& CurrentBackend() {
  if (g_backend.load() == WaveBackendKind::Virtual) return VirtualWaveBackend::Instance();
  return AlsaWaveBackend::Instance();
}

// Open devices by handle id. Lookups hand out a shared reference, so a
// close racing with another call never frees a stream in use.
class HandleTable {
 public:
  static HandleTable& Instance() {
    // Never destroyed: a device left open at exit must not be torn down
    // while static destructors run.
    static HandleTable* table = new HandleTable;
    return *table;
  }
  template <typename T>
  uintptr_t Add(std::shared_ptr<T> stream) {
    std::lock_guard hold(m_mutex);
    uintptr_t id = m_next++;
    Map<T>()[id] = std::move(stream);
    return id;
  }
  template <typename T>
  std::shared_ptr<T> Find(uintptr_t id) {
    std::lock_guard hold(m_mutex);
    auto& map = Map<T>();
    auto it = map.find(id);
    return it == map.end() ? nullptr : it->second;
  }
  template <typename T>
  void Remove(uintptr_t id) {
    std::shared_ptr<T> last;  // released outside the table's lock
    std::lock_guard hold(m_mutex);
    auto& map = Map<T>();
    auto it = map.find(id);
    if (it == map.end()) return;
    last = std::move(it->second);
    map.erase(it);
  }

 private:
  template <typename T>
  std::map<uintptr_t, std::shared_ptr<T>>& Map() {
    if constexpr (std::is_same_v<T, WaveInStream>)
      return m_inputs;
    else
      return m_outputs;
  }
  std::mutex m_mutex;
  uintptr_t m_next = 0x1000;                                     // guarded by m_mutex
  std::map<uintptr_t, std::shared_ptr<WaveInStream>> m_inputs;   // guarded by m_mutex
  std::map<uintptr_t, std::shared_ptr<WaveOutStream>> m_outputs; // guarded by m_mutex
};

// The stream type behind each handle type.
template <typename Handle>
struct StreamOf;
template <>
struct StreamOf<HWAVEIN> {
  using Type = WaveInStream;
};
template <>
struct StreamOf<HWAVEOUT> {
  using Type = WaveOutStream;
};

// Runs `operation` on the open stream of `handle`; MMSYSERR_INVALHANDLE for
// a handle that is not open.
template <typename Handle, typename Operation>
MMRESULT WithStream(Handle handle, Operation operation) {
  using Stream = typename StreamOf<Handle>::Type;
  std::shared_ptr<Stream> stream = HandleTable::Instance().Find<Stream>(reinterpret_cast<uintptr_t>(handle));
  return stream ? operation(*stream) : MMSYSERR_INVALHANDLE;
}

bool IsUsablePcm(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (f.nChannels < 1 || f.nChannels > 8) return false;
  if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16 && f.wBitsPerSample != 24 && f.wBitsPerSample != 32)
    return false;
  if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 384000) return false;
  return f.nBlockAlign == f.nChannels * (f.wBitsPerSample / 8);
}

// The steps waveInOpen and waveOutOpen share; on success `endpoint` holds
// the open device (unless only the format was queried).
MMRESULT OpenEndpoint(WaveDirection direction, uint32_t deviceId, const WAVEFORMATEX* format, bool hasCallback,
                      uint32_t flags, bool handleGiven, std::unique_ptr<WaveEndpoint>* endpoint) {
  if (flags & ~(WAVE_FORMAT_QUERY | WAVE_FORMAT_DIRECT | CALLBACK_TYPEMASK)) return MMSYSERR_INVALFLAG;
  uint32_t callbackType = flags & CALLBACK_TYPEMASK;
  if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_FUNCTION) return MMSYSERR_INVALFLAG;
  if (callbackType == CALLBACK_FUNCTION && !hasCallback) return MMSYSERR_INVALPARAM;
  if (!format) return MMSYSERR_INVALPARAM;
  if (!IsUsablePcm(*format)) return WAVERR_BADFORMAT;
  if (deviceId == WAVE_MAPPER) deviceId = 0;
  bool query = (flags & WAVE_FORMAT_QUERY) != 0;
  if (!query && !handleGiven) return MMSYSERR_INVALPARAM;
  MMRESULT result = CurrentBackend().Open(direction, deviceId, *format, query ? nullptr : endpoint);
  if (result != MMSYSERR_NOERROR)
    Trace("wave%sOpen - device %u, %u Hz %u ch %u bit: %s (%u)\r\n", direction == WaveDirection::Input ? "In" : "Out",
          deviceId, format->nSamplesPerSec, format->nChannels, format->wBitsPerSample, WaveResultText(result), result);
  return result;
}

// waveInOpen and waveOutOpen: the endpoint, then the stream with its device
// thread under a new handle id.
template <typename Handle, typename Proc>
MMRESULT OpenStream(WaveDirection direction, Handle* handle, uint32_t deviceId, const WAVEFORMATEX* format,
                    Proc callback, uintptr_t instance, uint32_t flags) {
  using Stream = typename StreamOf<Handle>::Type;
  std::unique_ptr<WaveEndpoint> endpoint;
  MMRESULT result =
      OpenEndpoint(direction, deviceId, format, callback != nullptr, flags, handle != nullptr, &endpoint);
  if (result != MMSYSERR_NOERROR || (flags & WAVE_FORMAT_QUERY)) return result;
  Proc proc = (flags & CALLBACK_TYPEMASK) == CALLBACK_FUNCTION ? callback : nullptr;
  auto stream = std::make_shared<Stream>(std::move(endpoint), *format, proc, instance);
  uintptr_t id = HandleTable::Instance().Add(stream);
  if (!stream->Launch(id)) {
    HandleTable::Instance().Remove<Stream>(id);
    return MMSYSERR_NOMEM;
  }
  *handle = reinterpret_cast<Handle>(id);
  return MMSYSERR_NOERROR;
}

template <typename Handle>
MMRESULT CloseStream(Handle handle) {
  using Stream = typename StreamOf<Handle>::Type;
  uintptr_t id = reinterpret_cast<uintptr_t>(handle);
  std::shared_ptr<Stream> stream = HandleTable::Instance().Find<Stream>(id);
  if (!stream) return MMSYSERR_INVALHANDLE;
  MMRESULT result = stream->Close();
  if (result == MMSYSERR_NOERROR) HandleTable::Instance().Remove<Stream>(id);
  return result;
}

}  // namespace

void SetWaveBackend(WaveBackendKind kind) { g_backend = kind; }
WaveBackendKind GetWaveBackend() { return g_backend.load(); }

const char* WaveResultText(MMRESULT result) {
  switch (result) {
    case MMSYSERR_NOERROR: return "no error";
    case MMSYSERR_ERROR: return "unspecified error";
    case MMSYSERR_BADDEVICEID: return "device id out of range";
    case MMSYSERR_NOTENABLED: return "driver failed enable";
    case MMSYSERR_ALLOCATED: return "device already allocated";
    case MMSYSERR_INVALHANDLE: return "invalid handle";
    case MMSYSERR_NODRIVER: return "no device driver present";
    case MMSYSERR_NOMEM: return "memory allocation error";
    case MMSYSERR_NOTSUPPORTED: return "function not supported";
    case MMSYSERR_INVALFLAG: return "invalid flag";
    case MMSYSERR_INVALPARAM: return "invalid parameter";
    case MMSYSERR_HANDLEBUSY: return "handle in use by a callback";
    case WAVERR_BADFORMAT: return "unsupported wave format";
    case WAVERR_STILLPLAYING: return "still something playing";
    case WAVERR_UNPREPARED: return "header not prepared";
    default: return "unknown error";
  }
}

uint32_t StandardFormatBit(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM || f.nChannels < 1 || f.nChannels > 2) return 0;
  if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return 0;
  if (f.nBlockAlign != f.nChannels * (f.wBitsPerSample / 8)) return 0;
  int group;
  switch (f.nSamplesPerSec) {
    case 11025: group = 0; break;
    case 22050: group = 1; break;
    case 44100: group = 2; break;
    default: return 0;
  }
  // Within a group: mono 8, stereo 8, mono 16, stereo 16.
  int index = (f.wBitsPerSample == 16 ? 2 : 0) + (f.nChannels == 2 ? 1 : 0);
  return 1u << (group * 4 + index);
}

WAVEFORMATEX PcmWaveFormatEx(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = samplesPerSec;
  f.nBlockAlign = static_cast<uint16_t>(channels * (bitsPerSample / 8));
  f.nAvgBytesPerSec = samplesPerSec * f.nBlockAlign;
  f.wBitsPerSample = bitsPerSample;
  f.cbSize = 0;
  return f;
}

// ---- input ----

uint32_t waveInGetNumDevs() { return CurrentBackend().DeviceCount(WaveDirection::Input); }

MMRESULT waveInGetDevCaps(uint32_t deviceId, WAVEINCAPS* caps) {
  if (!caps) return MMSYSERR_INVALPARAM;
  if (deviceId == WAVE_MAPPER) deviceId = 0;
  return CurrentBackend().DeviceCaps(WaveDirection::Input, deviceId, caps);
}

MMRESULT waveInOpen(HWAVEIN* handle, uint32_t deviceId, const WAVEFORMATEX* format, WaveInProc callback,
                    uintptr_t instance, uint32_t flags) {
  return OpenStream(WaveDirection::Input, handle, deviceId, format, callback, instance, flags);
}

MMRESULT waveInClose(HWAVEIN handle) { return CloseStream(handle); }

MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t headerSize) {
  return WithStream(handle, [&](auto& stream) { return stream.PrepareHeader(header, headerSize); });
}

MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t headerSize) {
  return WithStream(handle, [&](auto& stream) { return stream.UnprepareHeader(header, headerSize); });
}

MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, uint32_t headerSize) {
  return WithStream(handle, [&](auto& stream) { return stream.AddBuffer(header, headerSize); });
}

MMRESULT waveInStart(HWAVEIN handle) {
  return WithStream(handle, [&](auto& stream) { return stream.Start(); });
}

MMRESULT waveInStop(HWAVEIN handle) {
  return WithStream(handle, [&](auto& stream) { return stream.Stop(); });
}

MMRESULT waveInReset(HWAVEIN handle) {
  return WithStream(handle, [&](auto& stream) { return stream.Reset(); });
}

MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, uint32_t timeSize) {
  return WithStream(handle, [&](auto& stream) { return stream.GetPosition(time, timeSize); });
}

// ---- output ----

uint32_t waveOutGetNumDevs() { return CurrentBackend().DeviceCount(WaveDirection::Output); }

MMRESULT waveOutGetDevCaps(uint32_t deviceId, WAVEOUTCAPS* caps) {
  if (!caps) return MMSYSERR_INVALPARAM;
  if (deviceId == WAVE_MAPPER) deviceId = 0;
  WAVEINCAPS found;
  MMRESULT result = CurrentBackend().DeviceCaps(WaveDirection::Output, deviceId, &found);
  if (result != MMSYSERR_NOERROR) return result;
  caps->szPname = std::move(found.szPname);
  caps->szDescription = std::move(found.szDescription);
  caps->dwFormats = found.dwFormats;
  caps->wChannels = found.wChannels;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutOpen(HWAVEOUT* handle, uint32_t deviceId, const WAVEFORMATEX* format, WaveOutProc callback,
                     uintptr_t instance, uint32_t flags) {
  return OpenStream(WaveDirection::Output, handle, deviceId, format, callback, instance, flags);
}

MMRESULT waveOutClose(HWAVEOUT handle) { return CloseStream(handle); }

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, uint32_t headerSize) {
  return WithStream(handle, [&](auto& stream) { return stream.PrepareHeader(header, headerSize); });
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, uint32_t headerSize) {
  return WithStream(handle, [&](auto& stream) { return stream.UnprepareHeader(header, headerSize); });
}

MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, uint32_t headerSize) {
  return WithStream(handle, [&](auto& stream) { return stream.Write(header, headerSize); });
}

MMRESULT waveOutPause(HWAVEOUT handle) {
  return WithStream(handle, [&](auto& stream) { return stream.Pause(); });
}

MMRESULT waveOutRestart(HWAVEOUT handle) {
  return WithStream(handle, [&](auto& stream) { return stream.Restart(); });
}

MMRESULT waveOutReset(HWAVEOUT handle) {
  return WithStream(handle, [&](auto& stream) { return stream.Reset(); });
}

MMRESULT waveOutBreakLoop(HWAVEOUT handle) {
  return WithStream(handle, [](WaveOutStream&) { return MMSYSERR_NOERROR; });
}

MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, uint32_t timeSize) {
  return WithStream(handle, [&](auto& stream) { return stream.GetPosition(time, timeSize); });
}

}  // namespace talvinor
