// Counts heap allocations made through operator new in the whole process
// while conversions run: the cost of a longer input must not grow with its
// length, so a running graph allocates nothing per buffer (its messages
// included). This binary replaces the global operator new, which is why it
// stands alone.
#include <gtest/gtest.h>


#include "codec/ConversionRunner.h"
#include "codec/SpeexEncoder.h"
#include "codec/SpeexFileSource.h"
#include "codec/VorbisEncoder.h"
#include "codec/VorbisFileSource.h"
#include "codec/WavBuilder.h"
#include "support/CountingOperatorNew.h"
#include "support/TempFolder.h"

namespace talvinor::testing {
namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kFrameBytes = 4;

// Speech-like PCM: a tone that wanders, so the encoders do real work.
std::string Tone(uint32_t seconds) {
  std::string pcm;
  pcm.reserve(static_cast<size_t>(seconds) * kRate * kFrameBytes);
  uint32_t phase = 0;
  for (uint32_t i = 0; i < seconds * kRate; ++i) {
    phase += 300 + (i / 2000) % 400;
    int16_t v = static_cast<int16_t>(((phase >> 4) & 0x3FFF) - 0x2000);
    for (int c = 0; c < 2; ++c) {
      pcm.push_back(static_cast<char>(v & 0xFF));
      pcm.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
  }
  return pcm;
}

using Factory = std::function<void(RefPtr<AudioSource>*, RefPtr<AudioEncoder>*)>;

// Allocations made by one conversion of `from` into `to`.
uint64_t Allocations(const std::wstring& from, const std::wstring& to, const Factory& make) {
  RefPtr<AudioSource> source;
  RefPtr<AudioEncoder> encoder;
  make(&source, &encoder);
  uint64_t before = AllocationCount();
  ConversionResult r = Convert(from, to, ConvertOutput::Replace, source, encoder);
  uint64_t made = AllocationCount() - before;
  EXPECT_TRUE(r.closed);
  EXPECT_EQ(r.reason, StopCode(StopReason::EndOfStream));
  return made;
}

// Converts a short and a ten times longer input; the longer one passes
// hundreds more buffers, so anything allocated per buffer shows as a
// difference far above the few allocations a run may vary by.
void ExpectFlat(TempFolder& folder, const std::wstring& shortIn, const std::wstring& longIn, const Factory& make,
                const std::wstring& ext) {
  // A first run fills the message pool and the codecs' lazy tables.
  Allocations(shortIn, folder.WFile(L"warm" + ext), make);
  uint64_t shortRun = Allocations(shortIn, folder.WFile(L"short" + ext), make);
  uint64_t longRun = Allocations(longIn, folder.WFile(L"long" + ext), make);
  EXPECT_LE(longRun, shortRun + 40) << "short run " << shortRun << ", long run " << longRun;
}

class AllocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(folder.File("short.wav"), SimpleWav(Tone(3)));
    WriteFile(folder.File("long.wav"), SimpleWav(Tone(30)));
  }
  TempFolder folder;
};

TEST_F(AllocationTest, WaveToWaveAllocatesNothingPerBuffer) {
  ExpectFlat(folder, folder.WFile(L"short.wav"), folder.WFile(L"long.wav"),
             [](RefPtr<AudioSource>* s, RefPtr<AudioEncoder>* e) {
               *s = Create<WaveFileSource>();
               *e = Create<WaveFileEncoder>();
             },
             L".wav");
}

TEST_F(AllocationTest, VorbisBothWaysAllocatesNothingPerBuffer) {
  auto encode = [](RefPtr<AudioSource>* s, RefPtr<AudioEncoder>* e) {
    *s = Create<WaveFileSource>();
    RefPtr<VorbisEncoder> vorbis = Create<VorbisEncoder>();
    vorbis->SetQuality(0.3f);
    *e = vorbis;
  };
  ExpectFlat(folder, folder.WFile(L"short.wav"), folder.WFile(L"long.wav"), encode, L".ogg");
  ExpectFlat(folder, folder.WFile(L"short.ogg"), folder.WFile(L"long.ogg"),
             [](RefPtr<AudioSource>* s, RefPtr<AudioEncoder>* e) {
               *s = Create<VorbisFileSource>();
               *e = Create<WaveFileEncoder>();
             },
             L".dec.wav");
}

TEST_F(AllocationTest, SpeexBothWaysAllocatesNothingPerBuffer) {
  auto encode = [](RefPtr<AudioSource>* s, RefPtr<AudioEncoder>* e) {
    *s = Create<WaveFileSource>();
    *e = Create<SpeexEncoder>();
  };
  ExpectFlat(folder, folder.WFile(L"short.wav"), folder.WFile(L"long.wav"), encode, L".spx");
  ExpectFlat(folder, folder.WFile(L"short.spx"), folder.WFile(L"long.spx"),
             [](RefPtr<AudioSource>* s, RefPtr<AudioEncoder>* e) {
               *s = Create<SpeexFileSource>();
               *e = Create<WaveFileEncoder>();
             },
             L".dec.wav");
}

}  // namespace
}  // namespace talvinor::testing
