#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/wave/WaveBackend.h"

namespace talvinor {

// What a virtual input device produces. Frame n of a recording is always
// frame n of the signal: frames are numbered from the open and count only
// what was delivered, plus what an overrun skipped.
enum class VirtualSignal {
  Sine,     // `amplitude` * sin(2 pi `frequency` n / rate), a quarter turn later per channel
  Counter,  // sample (frame n, channel c) = n * channels + c, wrapped to the sample size
  Silence,  // 0 (128 for 8-bit samples)
};

// One programmable device of the virtual backend.
struct VirtualWaveDevice {
  std::wstring name = L"Virtual device";
  std::wstring description;
  uint32_t formats = WAVE_FORMAT_ALL_STANDARD;  // dwFormats; standard formats outside it are refused
  bool acceptsNonStandard = true;               // other valid PCM formats (16000 Hz, ...) open too
  MMRESULT openResult = MMSYSERR_NOERROR;       // not 0: every open fails with this
  // Multiple of real time at which frames are captured or played; 0 runs
  // as fast as the caller feeds or drains the device.
  double pace = 1.0;
  // The device's own buffer while paced, in milliseconds of sound: input
  // captured with no header queued is kept up to this much, then lost (an
  // overrun); output accepts this much ahead of what it plays.
  uint32_t fifoMs = 50;
  VirtualSignal signal = VirtualSignal::Sine;
  double frequency = 440.0;
  double amplitude = 0.5;
  bool keepPlayed = true;  // output: keep the played bytes for Played()
};

// What a virtual device has done since it was programmed.
struct VirtualDeviceStats {
  uint32_t opens = 0;
  uint64_t frames = 0;      // captured into headers, or played
  uint64_t overruns = 0;    // input: times captured sound was lost for want of a header
  uint64_t lostFrames = 0;  // input: frames lost to overruns
  uint64_t underruns = 0;   // output: times playing ran dry and sound came later
};

// The devices tests and benchmarks program. Selected for the waveIn/waveOut
// functions with SetWaveBackend(WaveBackendKind::Virtual). Thread-safe.
class VirtualWaveBackend : public WaveBackend {
 public:
  static VirtualWaveBackend& Instance();

  // Replaces the device table of one direction and clears its statistics and
  // played sound. Devices already open keep their old settings.
  void SetDevices(WaveDirection direction, std::vector<VirtualWaveDevice> devices);
  // One input ("Virtual input") and one output ("Virtual output") with every
  // standard format, paced at real time.
  void ResetToDefaults();
  VirtualDeviceStats Stats(WaveDirection direction, uint32_t id);
  // The bytes output device `id` has played (since programmed or cleared).
  std::vector<uint8_t> Played(uint32_t id);
  void ClearPlayed(uint32_t id);

  // Frames [firstFrame, firstFrame + frames) of `device`'s signal in `format`.
  static void GenerateSignal(const VirtualWaveDevice& device, const WAVEFORMATEX& format, uint64_t firstFrame,
                             uint32_t frames, void* out);

  uint32_t DeviceCount(WaveDirection direction) override;
  MMRESULT DeviceCaps(WaveDirection direction, uint32_t id, WAVEINCAPS* caps) override;
  MMRESULT Open(WaveDirection direction, uint32_t id, const WAVEFORMATEX& format,
                std::unique_ptr<WaveEndpoint>* endpoint) override;

  // Where the endpoints of one programmed device report; shared with them so
  // a device reprogrammed while open never receives an old device's numbers.
  struct Record {
    std::mutex mutex;
    VirtualDeviceStats stats;    // guarded by mutex
    std::vector<uint8_t> played;  // guarded by mutex
  };

 private:
  VirtualWaveBackend();
  struct Slot {
    VirtualWaveDevice device;
    std::shared_ptr<Record> record;
  };
  std::vector<Slot>& Slots(WaveDirection direction) {
    return direction == WaveDirection::Input ? m_inputs : m_outputs;
  }

  std::mutex m_mutex;
  std::vector<Slot> m_inputs;   // guarded by m_mutex
  std::vector<Slot> m_outputs;  // guarded by m_mutex
};

}  // namespace talvinor
