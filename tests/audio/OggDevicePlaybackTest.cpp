#include <gtest/gtest.h>

#include "audio/CRecWaveOut.h"
#include "codec/OggTestSupport.h"
#include "codec/PlaybackFilterChoice.h"
#include "codec/SpeexEncoder.h"
#include "codec/SpeexFileSource.h"
#include "codec/VorbisEncoder.h"
#include "codec/VorbisFileSource.h"
#include "core/Singletons.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveAudio.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using namespace testing;

// The Ogg sources played by the playback master on a virtual output device
// that takes the sound as fast as it comes and keeps it.
class OggDevicePlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveBackend(WaveBackendKind::Virtual);
    VirtualWaveDevice speaker;
    speaker.name = L"speaker";
    speaker.pace = 0;
    VirtualWaveBackend::Instance().SetDevices(WaveDirection::Output, {speaker});
  }
  void TearDown() override {
    VirtualWaveBackend::Instance().ResetToDefaults();
    ReleaseSingletons();
  }

  static std::vector<int16_t> Played() {
    std::vector<uint8_t> bytes = VirtualWaveBackend::Instance().Played(0);
    std::vector<int16_t> samples(bytes.size() / 2);
    if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }

  // Plays `file` to its end with the player's filter `choice`.
  static uint32_t Play(const std::string& file, RefPtr<AudioSource> source, FilterChoice choice) {
    VirtualWaveBackend::Instance().ClearPlayed(0);
    RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
    EXPECT_TRUE(ApplyFilterChoice(master.Get(), choice));
    EXPECT_TRUE(master->Setup(0, Utf8ToWide(file), source));
    EXPECT_TRUE(master->SetEndOfStreamAction(EndOfStreamAction::Close));
    EXPECT_TRUE(master->Start());
    EXPECT_TRUE(master->WaitForState(MasterState::Closed, 20000, 2));
    return StopCode(master->GetStopReason());
  }

  TempFolder m_folder;
};

// What the choice's filters make of `pcm`, worked out with fresh filters.
std::vector<int16_t> Filtered(std::vector<int16_t> pcm, const WaveFormat& format, FilterChoice choice) {
  const FilterChoiceEntry& entry = kFilterChoices[static_cast<uint32_t>(choice)];
  uint8_t* data = reinterpret_cast<uint8_t*>(pcm.data());
  uint32_t bytes = static_cast<uint32_t>(pcm.size() * 2);
  if (entry.smoothingWindowUs != 0) {
    RefPtr<SmoothingFilter> smoothing = Create<SmoothingFilter>();
    smoothing->SetWindow(entry.smoothingWindowUs);
    smoothing->Prepare(format);
    smoothing->Process(data, bytes, format);
  }
  if (entry.boostGain != 0) {
    RefPtr<VolumeBoostFilter> boost = Create<VolumeBoostFilter>();
    boost->Setup(entry.boostPercent, entry.boostGain);
    boost->Process(data, bytes, format);
  }
  return pcm;
}

TEST_F(OggDevicePlaybackTest, OggFilesPlayWholeThroughEachListeningAid) {
  std::string ogg = m_folder.File("speech.ogg");
  std::string spx = m_folder.File("speech.spx");
  std::string peer = m_folder.File("peer.spx");
  ASSERT_EQ(EncodeFile(SpeechWav(22050, 2, 2.0), ogg, Create<VorbisEncoder>()).reason, 2u);
  ASSERT_EQ(EncodeFile(SpeechWav(8000, 1, 2.0), spx, Create<SpeexEncoder>()).reason, 2u);
  ASSERT_EQ(Shell("speexenc " + Quote(SpeechWav(16000, 2, 2.0)) + " " + Quote(peer)), 0);
  struct Case {
    std::string file;
    std::function<RefPtr<AudioSource>()> source;
    FilterChoice choice;
  };
  const Case cases[] = {
      {ogg, [] { return RefPtr<AudioSource>(Create<VorbisFileSource>()); }, FilterChoice::None},
      {ogg, [] { return RefPtr<AudioSource>(Create<VorbisFileSource>()); }, FilterChoice::StrongBoost},
      {spx, [] { return RefPtr<AudioSource>(Create<SpeexFileSource>()); }, FilterChoice::StrongNoise},
      {peer, [] { return RefPtr<AudioSource>(Create<SpeexFileSource>()); }, FilterChoice::WeakNoise},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " with choice " + std::to_string(static_cast<int>(c.choice)));
    Decoded decoded = DecodeFile(c.file, m_folder.Path());
    ASSERT_EQ(decoded.reason, 2u);
    EXPECT_EQ(Play(c.file, c.source(), c.choice), 2u);
    WaveFormat format = PcmWaveFormat(decoded.pcm.channels, decoded.pcm.rate, 16);
    std::vector<int16_t> played = Played();
    EXPECT_EQ(played.size(), decoded.pcm.samples.size());
    EXPECT_TRUE(played == Filtered(decoded.pcm.samples, format, c.choice));
  }
}

}  // namespace
}  // namespace talvinor
