// Measures playback with CRecWaveOut to the virtual output paced at real
// time: the CPU time (all threads of this process, the virtual device's
// pacing included) per minute of sound for a WAV, an Ogg Vorbis (q0.3) and
// an Ogg Speex (ultra-wideband at 32 kHz, quality 10, complexity 4) file
// of speech, mono (44.1 kHz for the first two), and how often the output ran dry (an underrun). The files
// are made once with sox, oggenc and speexenc.
//
//   playback_bench [minutes]   (default 3)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "audio/CRecWaveOut.h"
#include "codec/SpeexFileSource.h"
#include "codec/VorbisFileSource.h"
#include "codec/WaveFileSource.h"
#include "platform/Clock.h"
#include "platform/Unicode.h"
#include "platform/wave/VirtualWaveBackend.h"

using namespace talvinor;
using SteadyClock = std::chrono::steady_clock;

namespace {

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

struct Result {
  double wallSeconds = 0;
  double cpuSeconds = 0;
  uint64_t frames = 0;
  uint64_t underruns = 0;
  StopReason reason = StopReason::None;
};

Result Play(const std::filesystem::path& file, RefPtr<AudioSource> source) {
  VirtualWaveDevice output;
  output.name = L"bench output";
  output.pace = 1.0;
  output.keepPlayed = false;
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Output, {output});
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  if (!master->Setup(0, Utf8ToWide(file.string()), source) ||
      !master->SetEndOfStreamAction(EndOfStreamAction::Close)) {
    std::fprintf(stderr, "%s: set-up failed\n", file.c_str());
    std::exit(1);
  }
  Result r;
  std::clock_t cpuStart = std::clock();
  auto wallStart = SteadyClock::now();
  if (!master->Start()) std::exit(1);
  while (!master->IsState(MasterState::Closed) || master->IsRunning()) master->Wait(1000);
  r.wallSeconds = std::chrono::duration<double>(SteadyClock::now() - wallStart).count();
  r.cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  VirtualDeviceStats stats = VirtualWaveBackend::Instance().Stats(WaveDirection::Output, 0);
  r.frames = stats.frames;
  r.underruns = stats.underruns;
  r.reason = master->GetStopReason();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  int minutes = argc > 1 ? std::atoi(argv[1]) : 3;
  if (minutes < 1) minutes = 1;
  SetWaveBackend(WaveBackendKind::Virtual);
  std::filesystem::path folder = std::filesystem::temp_directory_path() / "talvinor-playback-bench";
  std::filesystem::create_directories(folder);
  auto q = [](const std::filesystem::path& p) { return "'" + p.string() + "'"; };
  const std::string seconds = std::to_string(minutes * 60);
  if (Shell("espeak-ng -s 150 -w " + q(folder / "speech.wav") +
            " 'Talvinor records voice memos and plays them back. The quick brown fox jumps over the lazy dog.'") != 0 ||
      Shell("sox " + q(folder / "speech.wav") + " -b 16 -c 1 " + q(folder / "play.wav") + " rate -h 44100 repeat " +
            std::to_string(minutes * 12) + " trim 0 " + seconds) != 0 ||
      Shell("oggenc -Q -q 3 -o " + q(folder / "play.ogg") + " " + q(folder / "play.wav")) != 0 ||
      Shell("sox " + q(folder / "play.wav") + " " + q(folder / "play32.wav") + " rate -h 32000") != 0 ||
      Shell("speexenc -u --quality 10 --comp 4 " + q(folder / "play32.wav") + " " + q(folder / "play.spx")) != 0) {
    std::fprintf(stderr, "making the files failed (espeak-ng, sox, oggenc, speexenc)\n");
    return 1;
  }
  std::printf("Playing %d min of 44.1 kHz mono speech to the virtual output, paced at real time\n\n", minutes);
  std::printf("%-18s %10s %10s %16s %10s\n", "file", "sound s", "wall s", "CPU s/min sound", "underruns");
  struct Row {
    const char* name;
    const char* file;
    RefPtr<AudioSource> (*make)();
  };
  const Row rows[] = {
      {"WAV", "play.wav", [] { return RefPtr<AudioSource>(Create<WaveFileSource>()); }},
      {"Vorbis q0.3", "play.ogg", [] { return RefPtr<AudioSource>(Create<VorbisFileSource>()); }},
      {"Speex UWB q10 c4", "play.spx", [] { return RefPtr<AudioSource>(Create<SpeexFileSource>()); }},
  };
  for (const Row& row : rows) {
    Result r = Play(folder / row.file, row.make());
    const double sound = minutes * 60.0;
    std::printf("%-18s %10.1f %10.1f %16.3f %10llu", row.name, sound, r.wallSeconds, r.cpuSeconds / (sound / 60.0),
                static_cast<unsigned long long>(r.underruns));
    if (r.reason != StopReason::EndOfStream) std::printf("   (stopped with reason %u)", StopCode(r.reason));
    std::printf("\n");
    std::fflush(stdout);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
