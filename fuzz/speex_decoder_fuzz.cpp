// The program's own Ogg Speex decoder, without a master: any bytes as a
// file, decoded to the end, then a seek somewhere and a little more. Far
// more inputs a second than the source played through the master.
#include <algorithm>
#include <vector>

#include "codec/ReaderInputSource.h"
#include "codec/SpeexFileDecoder.h"
#include "fuzz/SourceRun.h"

using namespace talvinor;
using namespace talvinor::fuzz;

void WriteSeeds(const FuzzSeeds& seeds) { WriteSpeexSeeds(seeds); }

namespace {

// Decodes up to `frames` frames, checking what the decoder promises of each.
void DecodeFrames(SpeexFileDecoder* decoder, std::vector<int16_t>* pcm, int frames, bool fromStart) {
  const uint32_t frameBytes = decoder->FrameBytes();
  for (int i = 0; i < frames; ++i) {
    uint32_t got = decoder->Decode(pcm->data(), frameBytes);
    TALVINOR_FUZZ_CHECK(got <= frameBytes);
    TALVINOR_FUZZ_CHECK(got % (decoder->Channels() * 2) == 0);
    const int64_t length = decoder->LengthSamples();
    // (After a seek past the end the position is the target until decoded.)
    TALVINOR_FUZZ_CHECK(!fromStart || length == 0 || decoder->PositionSamples() <= length);
    if (got == 0) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RefPtr<ReaderInputSource> reader = Create<ReaderInputSource>(data, size);
  RefPtr<SpeexFileDecoder> decoder = Create<SpeexFileDecoder>();
  if (!decoder->Open(reader)) return 0;
  TALVINOR_FUZZ_CHECK(decoder->Channels() >= 1 && decoder->Channels() <= 2);
  TALVINOR_FUZZ_CHECK(decoder->FrameBytes() > 0);
  std::vector<int16_t> pcm(decoder->FrameBytes() / 2 + 1);
  DecodeFrames(decoder.Get(), &pcm, 1 << 20, true);
  // A seek chosen by the input's last byte: anywhere from the start to past
  // the end.
  const int64_t length = decoder->LengthSamples();
  decoder->Seek(length * (size > 0 ? data[size - 1] : 0) / 200);
  DecodeFrames(decoder.Get(), &pcm, 64, false);
  decoder->Close();
  return 0;
}
