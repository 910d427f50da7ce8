// Measures the Ogg codecs through the graph against their command-line
// peers on the same 10-minute speech input (espeak-ng speech, repeated):
//   WAV -> Vorbis quality 0.3         against  oggenc -q 3
//   WAV -> Speex ultra-wideband, quality 8, complexity 3  against  speexenc
//   Vorbis -> WAV                     against  oggdec
//   Speex -> WAV                      against  speexdec
// The codecs are the same libraries, so the ratio shows what the graph adds;
// beside both runs the bare loop of library calls doing the same job in
// this process (RawCodecLoops.h), so what the graph itself costs is seen
// apart from what a peer's own code adds or saves.
//
//   ogg_codec_bench [seconds] [rounds] [only]   (default 1200 s, 5 rounds;
//                                                only: part of a row's name)
// Each conversion runs in pairs with its peer, alternating, and the medians
// of wall time and of CPU time (user + system, all threads; the peer's as a
// child process) are compared.
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "RawCodecLoops.h"
#include "audio/ConvertMaster.h"
#include "codec/SpeexEncoder.h"
#include "codec/SpeexFileSource.h"
#include "codec/VorbisEncoder.h"
#include "codec/VorbisFileSource.h"
#include "codec/WaveFileEncoder.h"
#include "codec/WaveFileSource.h"
#include "platform/Unicode.h"

using namespace talvinor;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void Check(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "failed: %s\n", what.c_str());
  std::exit(1);
}

int Shell(const std::string& command) {
  int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Cost {
  double wall = 0;
  double cpu = 0;
};

// Wall and CPU time of one `job`; `who` names whose CPU it spends
// (RUSAGE_SELF in process, RUSAGE_CHILDREN for a command).
Cost Measure(int who, const std::function<void()>& job) {
  double cpu = CpuSeconds(who);
  auto start = Clock::now();
  job();
  return {Seconds(start), CpuSeconds(who) - cpu};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Costs {
  Cost graph;  // through the conversion master, in this process
  Cost raw;    // the library calls alone, in this process
  Cost peer;   // the command-line peer, as a child process
};

// Runs the graph, the raw loop and the peer in turn `rounds` times; the
// medians of each.
Costs Rounds(int rounds, const std::function<void()>& graph, const std::function<void()>& rawLoop,
             const std::function<void()>& peer) {
  std::vector<double> wall[3], cpu[3];
  for (int i = 0; i < rounds; ++i) {
    Cost c[3] = {Measure(RUSAGE_SELF, graph), Measure(RUSAGE_SELF, rawLoop), Measure(RUSAGE_CHILDREN, peer)};
    for (int k = 0; k < 3; ++k) {
      wall[k].push_back(c[k].wall);
      cpu[k].push_back(c[k].cpu);
    }
  }
  return {{Median(wall[0]), Median(cpu[0])}, {Median(wall[1]), Median(cpu[1])}, {Median(wall[2]), Median(cpu[2])}};
}

// One conversion through the conversion master, as talvinor-cli and the
// memo backup run it.
// `buffers`: the PCM buffers circulating between source and encoder (0:
// the conversion master's own four).
void Convert(const std::string& from, RefPtr<AudioSource> source, const std::string& to, RefPtr<AudioEncoder> encoder,
             uint32_t buffers = 0) {
  std::filesystem::remove(to);
  RefPtr<ConvertMaster> master = Create<ConvertMaster>();
  if (buffers) master->SetBufferCount(buffers);
  Check(master->Setup(Utf8ToWide(from), source, Utf8ToWide(to), encoder), "setup");
  Check(master->Start(), "start");
  while (master->IsRunning() || !master->IsState(MasterState::Closed)) master->Wait(1000);
  Check(master->GetStopReason() == StopReason::EndOfStream, "conversion of " + from);
}

std::string LoadAverage() {
  std::string text;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    char line[128] = {};
    if (std::fgets(line, sizeof line, f)) text = line;
    std::fclose(f);
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

void Report(const char* name, const Costs& costs, const char* peerName) {
  const Cost& g = costs.graph;
  const Cost& r = costs.raw;
  const Cost& p = costs.peer;
  std::printf("%-14s graph wall %7.3f cpu %7.3f | raw loop wall %7.3f cpu %7.3f | %-9s wall %7.3f cpu %7.3f\n", name,
              g.wall, g.cpu, r.wall, r.cpu, peerName, p.wall, p.cpu);
  std::printf("%-14s against %-9s wall %.3f cpu %.3f | against the raw loop wall %.3f cpu %.3f\n", "", peerName,
              g.wall / p.wall, g.cpu / p.cpu, g.wall / r.wall, g.cpu / r.cpu);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 1200;
  const int pairs = argc > 2 ? std::atoi(argv[2]) : 5;
  // Only the conversions whose name contains this text ("-> WAV": the two
  // decodings).
  const std::string only = argc > 3 ? argv[3] : "";
  auto wanted = [&](const char* name) { return std::string(name).find(only) != std::string::npos; };
  std::string folder = (std::filesystem::temp_directory_path() / "talvinor-ogg-bench").string();
  std::filesystem::create_directories(folder);
  auto at = [&](const char* name) { return folder + "/" + name; };
  auto q = [](const std::string& path) { return "'" + path + "'"; };

  Check(Shell("espeak-ng -s 150 -w " + q(at("speech.wav")) +
              " 'Talvinor records voice memos and plays them back. The quick brown fox jumps over the lazy dog, "
              "and seven silver spoons were left on the table.'") == 0,
        "espeak-ng");
  const std::string trim = " repeat 400 trim 0 " + std::to_string(seconds);
  Check(Shell("sox " + q(at("speech.wav")) + " -b 16 " + q(at("in44.wav")) + " remix 1 1v0.6 rate -h 44100" + trim) == 0,
        "sox 44100 stereo");
  Check(Shell("sox " + q(at("speech.wav")) + " -b 16 -c 1 " + q(at("in32.wav")) + " rate -h 32000" + trim) == 0,
        "sox 32000 mono");
  std::printf("load average at start: %s\n", LoadAverage().c_str());
  std::printf("input: %d s of speech; Vorbis at 44100 Hz stereo, Speex at 32000 Hz mono; median of %d pairs\n",
              seconds, pairs);

  if (wanted("WAV -> Vorbis"))
    Report("WAV -> Vorbis",
         Rounds(
             pairs,
             [&] {
               RefPtr<VorbisEncoder> encoder = Create<VorbisEncoder>();
               encoder->SetQuality(0.3f);
               Convert(at("in44.wav"), Create<WaveFileSource>(), at("own.ogg"), encoder);
             },
             [&] { raw::WavToVorbis(at("in44.wav"), at("raw.ogg"), 0.3f); },
             [&] { Check(Shell("oggenc -Q -q 3 -o " + q(at("peer.ogg")) + " " + q(at("in44.wav"))) == 0, "oggenc"); }),
         "oggenc");

  if (wanted("WAV -> Speex"))
    Report("WAV -> Speex",
         Rounds(
             pairs,
             [&] {
               RefPtr<SpeexEncoder> encoder = Create<SpeexEncoder>();
               SpeexSettings settings;
               settings.quality = 8;
               settings.complexity = 3;
               encoder->SetSpeexSettings(settings);
               Convert(at("in32.wav"), Create<WaveFileSource>(), at("own.spx"), encoder);
             },
             [&] { raw::WavToSpeex(at("in32.wav"), at("raw.spx"), 8, 3); },
             [&] {
               Check(Shell("speexenc -u --quality 8 --comp 3 " + q(at("in32.wav")) + " " + q(at("peer.spx"))) == 0,
                     "speexenc");
             }),
         "speexenc");

  // Decoding is light work per buffer, so what the graph adds per buffer
  // shows most here.
  // The decodings read what the peers encoded; made here when their rows
  // were left out.
  if (!wanted("WAV -> Vorbis") && wanted("Vorbis -> WAV"))
    Check(Shell("oggenc -Q -q 3 -o " + q(at("peer.ogg")) + " " + q(at("in44.wav"))) == 0, "oggenc");
  if (!wanted("WAV -> Speex") && wanted("Speex -> WAV"))
    Check(Shell("speexenc -u --quality 8 --comp 3 " + q(at("in32.wav")) + " " + q(at("peer.spx"))) == 0, "speexenc");

  if (wanted("Vorbis -> WAV"))
    Report("Vorbis -> WAV",
         Rounds(
             pairs,
             [&] { Convert(at("peer.ogg"), Create<VorbisFileSource>(), at("own-ogg.wav"), Create<WaveFileEncoder>()); },
             [&] { raw::VorbisToWav(at("peer.ogg"), at("raw-ogg.wav")); },
             [&] { Check(Shell("oggdec -Q -o " + q(at("peer-ogg.wav")) + " " + q(at("peer.ogg"))) == 0, "oggdec"); }),
         "oggdec");

  if (wanted("Speex -> WAV"))
    Report("Speex -> WAV",
         Rounds(
             pairs,
             [&] { Convert(at("peer.spx"), Create<SpeexFileSource>(), at("own-spx.wav"), Create<WaveFileEncoder>()); },
             [&] { raw::SpeexToWav(at("peer.spx"), at("raw-spx.wav")); },
             [&] { Check(Shell("speexdec " + q(at("peer.spx")) + " " + q(at("peer-spx.wav"))) == 0, "speexdec"); }),
         "speexdec");

  std::filesystem::remove_all(folder);
  return 0;
}
