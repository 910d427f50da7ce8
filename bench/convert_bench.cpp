// Measures WAV -> WAV conversion: talvinor-cli against sox on a 10-minute
// 44.1 kHz stereo file, and the cost of one buffer's round trip through the
// graph (read -> source -> master -> encoder -> file worker -> back to the
// source), measured with a single buffer in circulation so every hop is
// serialised.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/ConvertMaster.h"
#include "codec/WaveFileEncoder.h"
#include "codec/WaveFileSource.h"
#include "platform/Unicode.h"

using namespace talvinor;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Best of `runs` wall-clock times of a shell command, in seconds.
double TimeCommand(const std::string& command, int runs) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    int status = std::system(command.c_str());
    double t = Seconds(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "failed: %s\n", command.c_str());
      std::exit(1);
    }
    best = std::min(best, t);
  }
  return best;
}

// Runs one conversion in-process with `buffers` PCM buffers; seconds taken.
double TimeConversion(const std::string& from, const std::string& to, uint32_t buffers) {
  RefPtr<ConvertMaster> master = Create<ConvertMaster>();
  master->SetBufferCount(buffers);
  master->Setup(Utf8ToWide(from), Create<WaveFileSource>(), Utf8ToWide(to), Create<WaveFileEncoder>());
  auto start = Clock::now();
  if (!master->Start()) std::exit(1);
  while (master->IsRunning() || !master->IsState(MasterState::Closed)) master->Wait(1000);
  double t = Seconds(start);
  if (master->GetStopReason() != StopReason::EndOfStream) {
    std::fprintf(stderr, "conversion stopped with reason %u\n", StopCode(master->GetStopReason()));
    std::exit(1);
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
  std::string folder = (std::filesystem::temp_directory_path() / "talvinor-convert-bench").string();
  std::filesystem::create_directories(folder);
  std::string in = folder + "/in.wav";
  std::string cmd = "sox -n -r 44100 -c 2 -b 16 '" + in + "' synth " + std::to_string(seconds) +
                    " sine 440 sine 660 >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "sox could not make the input\n");
    return 1;
  }
  uint64_t bytes = std::filesystem::file_size(in);
  std::printf("input: %d s, 44100 Hz, stereo, 16 bit, %.1f MB\n", seconds, bytes / 1e6);

  const int runs = 3;
  std::string out = folder + "/out.wav";
#ifdef TALVINOR_CLI_PATH
  double cli = TimeCommand("'" TALVINOR_CLI_PATH "' convert '" + in + "' '" + out + "' --force >/dev/null", runs);
  std::printf("talvinor-cli convert: %.3f s (best of %d)\n", cli, runs);
#endif
  double sox = TimeCommand("sox '" + in + "' '" + out + "'", runs);
  std::printf("sox in.wav out.wav:   %.3f s (best of %d)\n", sox, runs);

  // 8192-byte buffers: every hop is paid once per buffer.
  double buffers = static_cast<double>(bytes) / 8192.0;
  double single = 1e9, four = 1e9;
  for (int i = 0; i < runs; ++i) {
    single = std::min(single, TimeConversion(in, out, 1));
    four = std::min(four, TimeConversion(in, out, 4));
  }
  std::printf("one buffer circulating: %.3f s, %.1f us per buffer round trip (%.0f buffers)\n", single,
              single / buffers * 1e6, buffers);
  std::printf("four buffers circulating: %.3f s, %.1f us per buffer\n", four, four / buffers * 1e6);
  std::filesystem::remove_all(folder);
  return 0;
}
