// The Ogg Speex file source: any bytes as an .spx file, played through to
// the end.
#include "codec/SpeexFileSource.h"
#include "fuzz/SourceRun.h"

using namespace talvinor;
using namespace talvinor::fuzz;

void WriteSeeds(const FuzzSeeds& seeds) {
  struct Case {
    uint32_t rate;  // narrow, wide and ultra-wide band
    uint16_t channels;
    int32_t quality;
    int32_t vad;
  };
  for (Case c : {Case{8000, 1, 8, 0}, Case{16000, 2, 4, 0}, Case{32000, 1, 2, 1}, Case{8000, 2, 10, 1}}) {
    RefPtr<SpeexEncoder> encoder = Create<SpeexEncoder>();
    SpeexSettings settings;
    settings.quality = c.quality;
    settings.vad = c.vad;
    settings.dtx = c.vad;
    encoder->SetSpeexSettings(settings);
    encoder->AddTag(L"TITLE", L"通話 090");
    std::string spx = Encode(ToneWav(c.rate, c.channels, 16, 0.4), encoder);
    if (!spx.empty()) seeds.Add(std::to_string(c.rate) + "-" + std::to_string(c.channels) + ".spx", spx);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PlayThrough(Create<SpeexFileSource>(), data, size);
  return 0;
}
