// Measures recording with CRecWaveIn from the virtual input at 44.1 kHz mono
// 16-bit with each codec (WAV, Vorbis q0.3, Speex ultra-wideband quality 10
// complexity 4): first paced at real time, with the input level meter on and
// off, reporting the CPU time per minute of sound and whether the device ever
// had to drop sound for want of a queued buffer (a late buffer); then
// unpaced, reporting the real-time factor. The cost of measuring one captured
// buffer's level is timed on its own.
//
//   record_bench [minutes]          (default 10)
//   record_bench --long [minutes]   44.1 kHz stereo Speex ultra-wideband,
//                                   quality 10, complexity 4, noise removal
//                                   on, paced (default 10 minutes): lost buffers
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "audio/CRecWaveIn.h"
#include "audio/InputLevel.h"
#include "codec/SpeexEncoder.h"
#include "codec/VorbisEncoder.h"
#include "codec/WaveFileEncoder.h"
#include "platform/Clock.h"
#include "platform/Unicode.h"
#include "platform/wave/VirtualWaveBackend.h"

using namespace talvinor;
using SteadyClock = std::chrono::steady_clock;

namespace {

enum class Codec { Wav, Vorbis, Speex };

const char* Name(Codec codec) {
  switch (codec) {
    case Codec::Wav: return "WAV";
    case Codec::Vorbis: return "Vorbis q0.3";
    case Codec::Speex: return "Speex UWB q10 c4";
  }
  return "";
}

struct Shape {
  uint16_t channels = 1;
  bool denoise = false;
  bool meter = true;
};

RefPtr<AudioEncoder> MakeEncoder(Codec codec, const Shape& shape) {
  RefPtr<AudioEncoder> encoder;
  if (codec == Codec::Wav) {
    encoder = Create<WaveFileEncoder>();
  } else if (codec == Codec::Vorbis) {
    RefPtr<VorbisEncoder> vorbis = Create<VorbisEncoder>();
    vorbis->SetQuality(0.3f);
    encoder = vorbis;
  } else {
    RefPtr<SpeexEncoder> speex = Create<SpeexEncoder>();
    SpeexSettings settings;
    settings.quality = 10;
    settings.complexity = 4;
    settings.denoise = shape.denoise ? 1 : 0;
    speex->SetSpeexSettings(settings);
    encoder = speex;
  }
  encoder->SetFormat(shape.channels, 44100, 16);
  return encoder;
}

struct Result {
  double wallSeconds = 0;
  double cpuSeconds = 0;
  uint64_t frames = 0;
  uint64_t overruns = 0;
  uint64_t lostFrames = 0;
  uint64_t allocations = 0;  // storage allocated after the first 10 s
  uint64_t fileBytes = 0;
  StopReason reason = StopReason::None;
};

Result Record(Codec codec, double pace, uint32_t minutes, const std::filesystem::path& folder, const Shape& shape = {}) {
  VirtualWaveDevice input;
  input.name = L"bench input";
  input.signal = VirtualSignal::Sine;
  input.pace = pace;
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
  std::filesystem::path file = folder / (std::string("bench") + (codec == Codec::Wav ? ".wav" : codec == Codec::Vorbis ? ".ogg" : ".spx"));
  std::filesystem::remove(file);

  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  master->SetLevelMetering(shape.meter);
  if (!master->Setup(0, Utf8ToWide(file.string()), MakeEncoder(codec, shape))) std::exit(1);
  Result r;
  std::clock_t cpuStart = std::clock();
  auto wallStart = SteadyClock::now();
  if (!master->Start() || !master->WaitForState(MasterState::Running, 5000, 1)) {
    std::fprintf(stderr, "%s: the recording did not start (reason %u)\n", Name(codec),
                 StopCode(master->GetStopReason()));
    std::exit(1);
  }
  const uint32_t target = minutes * 60000;
  bool steady = false;
  uint64_t allocationsAtSteady = 0;
  while (master->IsState(MasterState::Running) && master->GetPosition() < target) {
    if (!steady && master->GetPosition() >= 10000) {
      steady = true;
      allocationsAtSteady = AudioBuffer::StorageAllocations();
    }
    Sleep(pace == 0 ? 5 : 200);
  }
  if (steady) r.allocations = AudioBuffer::StorageAllocations() - allocationsAtSteady;
  master->Close();
  master->Wait(10000);
  r.wallSeconds = std::chrono::duration<double>(SteadyClock::now() - wallStart).count();
  r.cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  VirtualDeviceStats stats = VirtualWaveBackend::Instance().Stats(WaveDirection::Input, 0);
  r.frames = stats.frames;
  r.overruns = stats.overruns;
  r.lostFrames = stats.lostFrames;
  r.reason = master->GetStopReason();
  r.fileBytes = std::filesystem::file_size(file);
  std::filesystem::remove(file);
  return r;
}

// Nanoseconds to measure the level of one full capture buffer (16384 bytes
// of 16-bit stereo), and that as a share of the buffer's real time.
void TimeLevelMeasure() {
  std::string buffer(CRecWaveIn::kBufferBytes16, '\0');
  VirtualWaveDevice input;
  const WAVEFORMATEX format = PcmWaveFormatEx(2, 44100, 16);
  VirtualWaveBackend::GenerateSignal(input, format, 0, static_cast<uint32_t>(buffer.size() / 4), buffer.data());
  const WaveFormat engine = PcmWaveFormat(2, 44100, 16);
  InputLevel level;
  constexpr int kRounds = 20000;
  const auto start = SteadyClock::now();
  for (int i = 0; i < kRounds; ++i)
    level.Measure(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<uint32_t>(buffer.size()), engine);
  const double ns = std::chrono::duration<double, std::nano>(SteadyClock::now() - start).count() / kRounds;
  const double bufferNs = buffer.size() / 4.0 / 44100.0 * 1e9;
  std::printf("level of one 16384-byte buffer (44.1 kHz stereo 16-bit, %.1f ms of sound): %.0f ns, %.4f %% of real time"
              " (peak %.2f dB)\n\n",
              bufferNs / 1e6, ns, 100.0 * ns / bufferNs, static_cast<double>(level.Read().peakDb));
}

void PrintRow(Codec codec, const char* pacing, const Result& r, double pace) {
  const double sound = static_cast<double>(r.frames) / 44100.0;
  std::printf("%-18s %-13s %10.1f %10.1f %14.3f %9llu %10llu %8llu %12llu", Name(codec), pacing, sound, r.wallSeconds,
              r.cpuSeconds / (sound / 60.0), static_cast<unsigned long long>(r.overruns),
              static_cast<unsigned long long>(r.lostFrames), static_cast<unsigned long long>(r.allocations),
              static_cast<unsigned long long>(r.fileBytes));
  if (pace == 0) std::printf("   real-time factor %.1f", sound / r.wallSeconds);
  if (r.reason != StopReason::ByOwner) std::printf("   (stopped with reason %u)", StopCode(r.reason));
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const bool longRun = argc > 1 && std::string(argv[1]) == "--long";
  const int minutesArg = longRun ? 2 : 1;
  uint32_t minutes = argc > minutesArg ? static_cast<uint32_t>(std::atoi(argv[minutesArg])) : 10;
  if (minutes == 0) minutes = 1;
  SetWaveBackend(WaveBackendKind::Virtual);
  std::filesystem::path folder = std::filesystem::temp_directory_path() / "talvinor-record-bench";
  std::filesystem::create_directories(folder);
  const char* header = "%-18s %-13s %10s %10s %14s %9s %10s %8s %12s\n";

  if (longRun) {
    std::printf("Recording %u min of 44.1 kHz stereo 16-bit from the virtual input (sine), paced at real time:\n"
                "Speex ultra-wideband, quality 10, complexity 4, noise removal on, level meter on\n\n",
                minutes);
    std::printf(header, "codec", "pacing", "sound s", "wall s", "CPU s/min sound", "late", "lost fr.", "allocs",
                "file bytes");
    Shape shape;
    shape.channels = 2;
    shape.denoise = true;
    Result r = Record(Codec::Speex, 1.0, minutes, folder, shape);
    PrintRow(Codec::Speex, "real time", r, 1.0);
    std::printf("\nlost buffers (late): %llu, lost frames: %llu\n", static_cast<unsigned long long>(r.overruns),
                static_cast<unsigned long long>(r.lostFrames));
    std::filesystem::remove_all(folder);
    return r.overruns == 0 ? 0 : 2;
  }

  std::printf("Recording %u min of 44.1 kHz mono 16-bit from the virtual input (sine)\n\n", minutes);
  TimeLevelMeasure();
  std::printf(header, "codec", "pacing", "sound s", "wall s", "CPU s/min sound", "late", "lost fr.", "allocs",
              "file bytes");
  for (Codec codec : {Codec::Wav, Codec::Vorbis, Codec::Speex}) {
    // Meter on and off side by side, so the two see the same machine.
    for (bool meter : {true, false}) {
      Shape shape;
      shape.meter = meter;
      PrintRow(codec, meter ? "real, meter" : "real, no meter", Record(codec, 1.0, minutes, folder, shape), 1.0);
    }
  }
  for (Codec codec : {Codec::Wav, Codec::Vorbis, Codec::Speex}) PrintRow(codec, "unpaced", Record(codec, 0.0, minutes, folder), 0.0);
  std::filesystem::remove_all(folder);
  return 0;
}
