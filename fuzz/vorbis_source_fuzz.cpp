// The Ogg Vorbis file source: any bytes as an .ogg file, played through to
// the end.
#include "codec/VorbisFileSource.h"
#include "fuzz/SourceRun.h"

using namespace talvinor;
using namespace talvinor::fuzz;

// Debian 12's libvorbisfile (1.3.7) leaks its list of stream serial numbers
// when ov_open_callbacks gives up on some damaged chained files: 8 bytes per
// failed open, inside the library, with nothing handed back that we could
// free (a plain ov_open_callbacks on stdio shows the same). Only that
// library's own allocations are excused; a leak in our code still fails.
extern "C" const char* __lsan_default_suppressions() { return "leak:libvorbisfile.so\n"; }

void WriteSeeds(const FuzzSeeds& seeds) {
  struct Case {
    uint32_t rate;
    uint16_t channels;
    float quality;
    double seconds;
  };
  for (Case c : {Case{8000, 1, 0.0f, 0.5}, Case{11025, 2, 0.3f, 0.4}, Case{22050, 1, -0.1f, 0.3}}) {
    RefPtr<VorbisEncoder> encoder = Create<VorbisEncoder>();
    encoder->SetQuality(c.quality);
    encoder->AddTag(L"TITLE", L"留守録 0001");
    encoder->AddTag(L"DATE", L"2026-12-08");
    std::string ogg = Encode(ToneWav(c.rate, c.channels, 16, c.seconds), encoder);
    if (!ogg.empty()) seeds.Add(std::to_string(c.rate) + "-" + std::to_string(c.channels) + ".ogg", ogg);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DriveThrough([] { return Create<VorbisFileSource>(); }, data, size);
  return 0;
}
