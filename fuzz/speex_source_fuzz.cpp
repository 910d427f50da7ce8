// The Ogg Speex file source: any bytes as an .spx file, played through to
// the end.
#include "codec/SpeexFileSource.h"
#include "fuzz/SourceRun.h"

using namespace talvinor;
using namespace talvinor::fuzz;

void WriteSeeds(const FuzzSeeds& seeds) { WriteSpeexSeeds(seeds); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DriveThrough([] { return Create<SpeexFileSource>(); }, data, size);
  return 0;
}
