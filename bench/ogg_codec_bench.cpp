// Measures the Ogg codecs through the graph against their command-line
// peers on the same 10-minute speech input (espeak-ng speech, repeated):
//   WAV -> Vorbis quality 0.3         against  oggenc -q 3
//   WAV -> Speex ultra-wideband, quality 8, complexity 3  against  speexenc
//   Vorbis -> WAV                     against  oggdec
//   Speex -> WAV                      against  speexdec
// The codecs are the same libraries, so the ratio shows what the graph adds.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

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

// Best of `runs` wall-clock times of `job`, in seconds.
double Best(int runs, const std::function<void()>& job) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    job();
    best = std::min(best, Seconds(start));
  }
  return best;
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

void Report(const char* name, double own, double peer, const char* peerName) {
  std::printf("%-16s graph %7.3f s   %-9s %7.3f s   ratio %.3f\n", name, own, peerName, peer, own / peer);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  std::string folder = (std::filesystem::temp_directory_path() / "talvinor-ogg-bench").string();
  std::filesystem::create_directories(folder);
  auto at = [&](const char* name) { return folder + "/" + name; };
  auto q = [](const std::string& path) { return "'" + path + "'"; };

  Check(Shell("espeak-ng -s 150 -w " + q(at("speech.wav")) +
              " 'Talvinor records voice memos and plays them back. The quick brown fox jumps over the lazy dog, "
              "and seven silver spoons were left on the table.'") == 0,
        "espeak-ng");
  const std::string trim = " repeat 200 trim 0 " + std::to_string(seconds);
  Check(Shell("sox " + q(at("speech.wav")) + " -b 16 " + q(at("in44.wav")) + " remix 1 1v0.6 rate -h 44100" + trim) == 0,
        "sox 44100 stereo");
  Check(Shell("sox " + q(at("speech.wav")) + " -b 16 -c 1 " + q(at("in32.wav")) + " rate -h 32000" + trim) == 0,
        "sox 32000 mono");
  std::printf("load average at start: %s\n", LoadAverage().c_str());
  std::printf("input: %d s of speech; Vorbis at 44100 Hz stereo, Speex at 32000 Hz mono; best of %d runs\n", seconds,
              runs);

  double own = Best(runs, [&] {
    RefPtr<VorbisEncoder> encoder = Create<VorbisEncoder>();
    encoder->SetQuality(0.3f);
    Convert(at("in44.wav"), Create<WaveFileSource>(), at("own.ogg"), encoder);
  });
  double peer = Best(runs, [&] { Check(Shell("oggenc -Q -q 3 -o " + q(at("peer.ogg")) + " " + q(at("in44.wav"))) == 0, "oggenc"); });
  Report("WAV -> Vorbis", own, peer, "oggenc");

  own = Best(runs, [&] {
    RefPtr<SpeexEncoder> encoder = Create<SpeexEncoder>();
    SpeexSettings settings;
    settings.quality = 8;
    settings.complexity = 3;
    encoder->SetSpeexSettings(settings);
    Convert(at("in32.wav"), Create<WaveFileSource>(), at("own.spx"), encoder);
  });
  peer = Best(runs, [&] {
    Check(Shell("speexenc -u --quality 8 --comp 3 " + q(at("in32.wav")) + " " + q(at("peer.spx"))) == 0, "speexenc");
  });
  Report("WAV -> Speex", own, peer, "speexenc");

  // Decoding is light work per buffer, so the buffers' round trips through
  // the graph show; measured also with the source's own buffer count (the
  // one the playback master uses).
  own = Best(runs, [&] { Convert(at("peer.ogg"), Create<VorbisFileSource>(), at("own-ogg.wav"), Create<WaveFileEncoder>()); });
  double ownSix = Best(runs, [&] {
    Convert(at("peer.ogg"), Create<VorbisFileSource>(), at("own-ogg.wav"), Create<WaveFileEncoder>(), 6);
  });
  peer = Best(runs, [&] { Check(Shell("oggdec -Q -o " + q(at("peer-ogg.wav")) + " " + q(at("peer.ogg"))) == 0, "oggdec"); });
  Report("Vorbis -> WAV", own, peer, "oggdec");
  Report("  (6 buffers)", ownSix, peer, "oggdec");

  own = Best(runs, [&] { Convert(at("peer.spx"), Create<SpeexFileSource>(), at("own-spx.wav"), Create<WaveFileEncoder>()); });
  ownSix = Best(runs, [&] {
    Convert(at("peer.spx"), Create<SpeexFileSource>(), at("own-spx.wav"), Create<WaveFileEncoder>(), 6);
  });
  peer = Best(runs, [&] { Check(Shell("speexdec " + q(at("peer.spx")) + " " + q(at("peer-spx.wav"))) == 0, "speexdec"); });
  Report("Speex -> WAV", own, peer, "speexdec");
  Report("  (6 buffers)", ownSix, peer, "speexdec");

  std::filesystem::remove_all(folder);
  return 0;
}
