// The WAV file source: any bytes as a .wav file, played through to the end.
#include "fuzz/SourceRun.h"

using namespace talvinor;
using namespace talvinor::fuzz;

void WriteSeeds(const FuzzSeeds& seeds) {
  struct Format {
    uint32_t rate;
    uint16_t channels, bits;
  };
  for (Format f : {Format{8000, 1, 16}, Format{11025, 2, 16}, Format{8000, 1, 8}, Format{22050, 2, 8},
                   Format{8000, 1, 24}, Format{8000, 2, 32}}) {
    std::string wav = ToneWav(f.rate, f.channels, f.bits, 0.3);
    std::string name = std::to_string(f.rate) + "-" + std::to_string(f.channels) + "-" + std::to_string(f.bits);
    seeds.Add(name + "-tone.wav", wav);
    // As the program's own encoder writes it.
    RefPtr<WaveFileEncoder> encoder = Create<WaveFileEncoder>();
    encoder->AddTag(L"TITLE", L"録音 1");
    std::string own = Encode(wav, encoder);
    if (!own.empty()) seeds.Add(name + "-own.wav", own);
  }
  // A recording ended by a crash: the sizes are still the placeholders.
  std::string unfinished = ToneWav(8000, 1, 16, 0.2);
  for (size_t at : {size_t(4), size_t(40)}) unfinished.replace(at, 4, "\xFF\xFF\xFF\x7F");
  seeds.Add("unfinished.wav", unfinished);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DriveThrough([] { return Create<WaveFileSource>(); }, data, size);
  return 0;
}
