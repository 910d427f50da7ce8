// Counts heap allocations made through operator new in the whole process
// while a recording or a playback runs on the virtual devices: a run ten
// times longer passes ten times the buffers, so anything allocated per
// buffer (a message, a queue node, a copy) shows as a difference far above
// the few allocations a run may vary by. This binary replaces the global
// operator new, which is why it stands alone.
#include <gtest/gtest.h>

#include <functional>

#include "audio/CRecWaveIn.h"
#include "audio/CRecWaveOut.h"
#include "audio/DeviceTestSupport.h"
#include "codec/ConversionRunner.h"
#include "codec/SpeexEncoder.h"
#include "codec/SpeexFileSource.h"
#include "codec/VorbisEncoder.h"
#include "codec/VorbisFileSource.h"
#include "codec/WaveFileEncoder.h"
#include "codec/WaveFileSource.h"
#include "platform/Unicode.h"
#include "support/CountingOperatorNew.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace talvinor {
namespace {

using namespace testing;
using M = MasterState;

constexpr uint32_t kRate = 44100;
// What a longer run may allocate beyond a shorter one without anything
// being allocated per buffer: the run's timing varies (how many buffers are
// in flight when it stops, a queue's ring growing once more).
constexpr uint64_t kSlack = 10;

VirtualWaveBackend& Backend() { return VirtualWaveBackend::Instance(); }

class DeviceAllocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveBackend(WaveBackendKind::Virtual);
    Backend().ResetToDefaults();
    VirtualWaveDevice input;
    input.name = L"microphone";
    input.signal = VirtualSignal::Sine;
    input.pace = 0;  // as fast as buffers come back
    Backend().SetDevices(WaveDirection::Input, {input});
    VirtualWaveDevice output;
    output.name = L"speaker";
    output.pace = 0;
    output.keepPlayed = false;
    Backend().SetDevices(WaveDirection::Output, {output});
  }
  void TearDown() override { Backend().ResetToDefaults(); }

  using EncoderFactory = std::function<RefPtr<AudioEncoder>()>;

  // Allocations of one recording of `milliseconds` of sound.
  uint64_t Record(const EncoderFactory& make, uint32_t milliseconds, const std::wstring& path) {
    RefPtr<AudioEncoder> encoder = make();
    encoder->SetFormat(2, kRate, 16);
    RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
    uint64_t before = AllocationCount();
    EXPECT_TRUE(master->Setup(0, path, encoder));
    EXPECT_TRUE(master->Start());
    EXPECT_TRUE(master->WaitForState(M::Running, 5000, 1));
    EXPECT_TRUE(WaitUntil([&] { return master->GetPosition() >= milliseconds || !master->IsState(M::Running); },
                          60000));
    EXPECT_GE(master->GetPosition(), milliseconds);
    master->Close();
    uint64_t made = AllocationCount() - before;
    EXPECT_EQ(master->GetStopReason(), StopReason::ByOwner);
    return made;
  }

  void ExpectFlatRecording(const EncoderFactory& make, const std::wstring& ext) {
    Record(make, 3000, folder.WFile(L"warm" + ext));  // fills the pools and the codecs' tables
    uint64_t shortRun = Record(make, 3000, folder.WFile(L"short" + ext));
    uint64_t longRun = Record(make, 30000, folder.WFile(L"long" + ext));
    EXPECT_LE(longRun, shortRun + kSlack) << "short run " << shortRun << ", long run " << longRun;
  }

  using SourceFactory = std::function<RefPtr<AudioSource>()>;

  // Allocations of one playback of `path` to its end.
  uint64_t Play(const SourceFactory& make, const std::wstring& path) {
    RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
    uint64_t before = AllocationCount();
    EXPECT_TRUE(master->Setup(0, path, make()));
    EXPECT_TRUE(master->SetEndOfStreamAction(EndOfStreamAction::Close));
    EXPECT_TRUE(master->Start());
    EXPECT_TRUE(master->WaitForState(M::Closed, 60000, 1));
    uint64_t made = AllocationCount() - before;
    EXPECT_EQ(master->GetStopReason(), StopReason::EndOfStream);
    return made;
  }

  void ExpectFlatPlayback(const SourceFactory& make, const std::wstring& shortFile, const std::wstring& longFile) {
    Play(make, shortFile);
    uint64_t shortRun = Play(make, shortFile);
    uint64_t longRun = Play(make, longFile);
    EXPECT_LE(longRun, shortRun + kSlack) << "short run " << shortRun << ", long run " << longRun;
  }

  // Short and ten times longer files of stereo sound, as WAV and encoded
  // with `make` into `ext`.
  void MakeFiles(const std::wstring& ext, const EncoderFactory& make) {
    for (const char* name : {"short", "long"}) {
      std::string pcm = TestPcm16(kRate * (name[0] == 's' ? 3 : 30), 2);
      std::wstring wav = folder.WFile(Utf8ToWide(name) + L".wav");
      WriteBytes(WideToUtf8(wav), WavBytes(pcm, 2, kRate, 16));
      if (!make) continue;
      ConversionResult r =
          Convert(wav, folder.WFile(Utf8ToWide(name) + ext), ConvertOutput::Replace, Create<WaveFileSource>(), make());
      ASSERT_EQ(r.reason, StopCode(StopReason::EndOfStream));
    }
  }

  TempFolder folder;
};

RefPtr<AudioEncoder> Vorbis() {
  RefPtr<VorbisEncoder> vorbis = Create<VorbisEncoder>();
  vorbis->SetQuality(0.3f);
  return vorbis;
}

RefPtr<AudioEncoder> Speex() {
  RefPtr<SpeexEncoder> speex = Create<SpeexEncoder>();
  SpeexSettings settings;
  settings.quality = 8;
  settings.complexity = 3;
  speex->SetSpeexSettings(settings);
  return speex;
}

TEST_F(DeviceAllocationTest, RecordingWithEachCodecAllocatesNothingPerBuffer) {
  {
    SCOPED_TRACE("WAV");
    ExpectFlatRecording([] { return RefPtr<AudioEncoder>(Create<WaveFileEncoder>()); }, L".wav");
  }
  {
    SCOPED_TRACE("Vorbis");
    ExpectFlatRecording(Vorbis, L".ogg");
  }
  {
    SCOPED_TRACE("Speex");
    ExpectFlatRecording(Speex, L".spx");
  }
}

TEST_F(DeviceAllocationTest, PlayingEachKindOfFileAllocatesNothingPerBuffer) {
  {
    SCOPED_TRACE("WAV");
    MakeFiles(L".wav", nullptr);
    ExpectFlatPlayback([] { return RefPtr<AudioSource>(Create<WaveFileSource>()); }, folder.WFile(L"short.wav"),
                       folder.WFile(L"long.wav"));
  }
  {
    SCOPED_TRACE("Vorbis");
    MakeFiles(L".ogg", Vorbis);
    ExpectFlatPlayback([] { return RefPtr<AudioSource>(Create<VorbisFileSource>()); }, folder.WFile(L"short.ogg"),
                       folder.WFile(L"long.ogg"));
  }
  {
    SCOPED_TRACE("Speex");
    // Speex codes mono; a stereo input is mixed down by the encoder.
    MakeFiles(L".spx", Speex);
    ExpectFlatPlayback([] { return RefPtr<AudioSource>(Create<SpeexFileSource>()); }, folder.WFile(L"short.spx"),
                       folder.WFile(L"long.spx"));
  }
}

}  // namespace
}  // namespace talvinor
