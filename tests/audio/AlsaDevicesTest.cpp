// The device masters end to end on ALSA, with the "file" plugin standing in
// for a sound card: a capture PCM that returns a file's bytes and a playback
// PCM that writes what it is given.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "audio/CRecWaveIn.h"
#include "audio/CRecWaveOut.h"
#include "audio/DeviceTestSupport.h"
#include "audio/GraphTestSupport.h"
#include "codec/WaveFileEncoder.h"
#include "codec/WaveFileSource.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using namespace testing;
using M = MasterState;

class AlsaDevicesTest : public ::testing::Test {
 protected:
  // ALSA reads its configuration once per process: the test PCMs are fixed
  // files in one folder.
  static void SetUpTestSuite() {
    s_folder = new TempFolder;
    std::ofstream out(s_folder->File("asound.conf"));
    out << "pcm.talvinor_test_capture {\n  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
           "  infile \"" << s_folder->File("in.raw") << "\"\n  format \"raw\"\n}\n"
           "pcm.talvinor_test_playback {\n  type file\n  slave.pcm \"null\"\n"
           "  file \"" << s_folder->File("out.raw") << "\"\n  format \"raw\"\n}\n";
    out.close();
    ::setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + s_folder->File("asound.conf")).c_str(), 1);
    SetWaveBackend(WaveBackendKind::Alsa);
  }
  static void TearDownTestSuite() {
    delete s_folder;
    s_folder = nullptr;
  }

  template <typename Caps>
  static uint32_t Find(uint32_t count, MMRESULT (*getCaps)(uint32_t, Caps*), const wchar_t* name) {
    for (uint32_t id = 0; id < count; ++id) {
      Caps caps;
      if (getCaps(id, &caps) == MMSYSERR_NOERROR && caps.szPname == name) return id;
    }
    ADD_FAILURE() << "no ALSA device of that name";
    return 0;
  }

  static TempFolder* s_folder;
};
TempFolder* AlsaDevicesTest::s_folder = nullptr;

TEST_F(AlsaDevicesTest, CapturePcmFedWithSpeechRecordsThatSpeech) {
  TempFolder folder;
  ASSERT_EQ(std::system(("espeak-ng -w '" + folder.File("speech.wav") + "' 'Talvinor records this sentence.'").c_str()),
            0);
  std::string speechFile = ReadBytes(folder.File("speech.wav"));
  size_t data = speechFile.find("data");
  ASSERT_NE(data, std::string::npos);
  const uint16_t channels = static_cast<uint16_t>(ReadLe(speechFile, 22, 2));
  const uint32_t rate = ReadLe(speechFile, 24, 4);
  const uint16_t bits = static_cast<uint16_t>(ReadLe(speechFile, 34, 2));
  std::string speech = speechFile.substr(data + 8, ReadLe(speechFile, data + 4, 4));
  ASSERT_GT(speech.size(), 20000u);
  WriteBytes(s_folder->File("in.raw"), speech);

  uint32_t device = Find(waveInGetNumDevs(), &waveInGetDevCaps, L"talvinor_test_capture");
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  RefPtr<WaveFileEncoder> encoder = Create<WaveFileEncoder>();
  encoder->SetFormat(channels, rate, bits);
  ASSERT_TRUE(master->Setup(device, folder.WFile(L"rz.wav"), encoder));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(master->WaitForState(M::Running, 5000, 1)) << master->GetStopReason();
  // The file plugin is not paced: the speech is captured at once.
  uint32_t duration = static_cast<uint32_t>(speech.size() * 1000ull / (rate * channels * bits / 8));
  ASSERT_TRUE(WaitUntil([&] { return master->GetPosition() > duration; }));
  ASSERT_TRUE(master->Close());
  EXPECT_EQ(master->GetStopReason(), StopReason::ByOwner);
  std::string recorded = ReadBytes(folder.File("rz.wav"));
  ASSERT_GE(recorded.size(), 44 + speech.size());
  EXPECT_EQ(ReadLe(recorded, 40, 4), recorded.size() - 44);
  EXPECT_TRUE(recorded.substr(44, speech.size()) == speech);
}

TEST_F(AlsaDevicesTest, PlaybackPcmWritesExactlyWhatWasPlayed) {
  TempFolder folder;
  std::string pcm = TestPcm16(44100, 2);
  WriteBytes(folder.File("play.wav"), WavBytes(pcm, 2, 44100, 16));
  uint32_t device = Find(waveOutGetNumDevs(), &waveOutGetDevCaps, L"talvinor_test_playback");
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  ASSERT_TRUE(master->Setup(device, folder.WFile(L"play.wav"), Create<WaveFileSource>()));
  ASSERT_TRUE(master->SetEndOfStreamAction(EndOfStreamAction::Close));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(master->WaitForState(M::Closed, 20000, 5));
  EXPECT_EQ(master->GetStopReason(), StopReason::EndOfStream);
  EXPECT_TRUE(ReadBytes(s_folder->File("out.raw")) == pcm);
}

TEST_F(AlsaDevicesTest, WithoutASoundCardTheDefaultDeviceGives91) {
  WAVEFORMATEX format = DeviceFormat(44100, 1, 16);
  if (waveInOpen(nullptr, 0, &format, nullptr, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR) {
    GTEST_SKIP() << "this machine has a working default device";
  }
  TempFolder folder;
  RefPtr<CRecWaveIn> recorder = Create<CRecWaveIn>();
  RefPtr<WaveFileEncoder> encoder = Create<WaveFileEncoder>();
  encoder->SetFormat(1, 44100, 16);
  ASSERT_TRUE(recorder->Setup(0, folder.WFile(L"rz.wav"), encoder));
  ASSERT_TRUE(recorder->Start());
  ASSERT_TRUE(recorder->WaitForState(M::Closed, 10000, 5));
  EXPECT_EQ(recorder->GetStopReason(), StopReason::DeviceFailure);

  WriteBytes(folder.File("play.wav"), WavBytes(TestPcm16(4410, 1), 1, 44100, 16));
  RefPtr<CRecWaveOut> player = Create<CRecWaveOut>();
  ASSERT_TRUE(player->Setup(0, folder.WFile(L"play.wav"), Create<WaveFileSource>()));
  ASSERT_TRUE(player->Start());
  ASSERT_TRUE(player->WaitForState(M::Closed, 10000, 5));
  EXPECT_EQ(player->GetStopReason(), StopReason::DeviceFailure);
}

}  // namespace
}  // namespace talvinor
