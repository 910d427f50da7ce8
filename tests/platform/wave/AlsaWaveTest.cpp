#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/wave/WaveAudio.h"
#include "platform/wave/WaveEvents.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using testing::TempFolder;
using testing::TestHeader;
using testing::WaveEvents;

constexpr uint32_t kHdr = sizeof(WAVEHDR);

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le(const char* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}

// Speech from espeak-ng: its PCM format and samples.
struct Speech {
  WAVEFORMATEX format{};
  std::vector<char> pcm;
};

Speech Speak(const TempFolder& folder, const char* text) {
  Speech speech;
  std::string wav = folder.File("speech.wav");
  std::string command = "espeak-ng -w '" + wav + "' '" + text + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) return speech;
  std::vector<char> file = ReadAll(wav);
  // RIFF chunks after the 12-byte file header.
  for (size_t at = 12; at + 8 <= file.size();) {
    uint32_t size = Le(&file[at + 4], 4);
    const char* body = &file[at + 8];
    if (std::memcmp(&file[at], "fmt ", 4) == 0 && size >= 16) {
      speech.format = PcmWaveFormatEx(static_cast<uint16_t>(Le(body + 2, 2)), Le(body + 4, 4),
                                      static_cast<uint16_t>(Le(body + 14, 2)));
    } else if (std::memcmp(&file[at], "data", 4) == 0) {
      size = std::min<uint32_t>(size, static_cast<uint32_t>(file.size() - at - 8));
      speech.pcm.assign(body, body + size);
    }
    at += 8 + size + (size & 1);
  }
  return speech;
}

class AlsaWave : public ::testing::Test {
 protected:
  // ALSA reads its configuration once per process, so the test devices are
  // fixed files in one folder that each test refills.
  static void SetUpTestSuite() {
    s_folder = new TempFolder;
    std::string conf = s_folder->File("asound.conf");
    std::ofstream out(conf);
    out << "pcm.talvinor_test_capture {\n"
           "  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
           "  infile \"" << s_folder->File("in.raw") << "\"\n  format \"raw\"\n"
           "  hint { show on description \"Talvinor test capture\" }\n}\n"
           "pcm.talvinor_test_playback {\n"
           "  type file\n  slave.pcm \"null\"\n"
           "  file \"" << s_folder->File("out.raw") << "\"\n  format \"raw\"\n"
           "  hint { show on description \"Talvinor test playback\" }\n}\n";
    out.close();
    // The capture device does not open without its input file.
    std::ofstream(s_folder->File("in.raw"), std::ios::binary) << std::string(4096, '\0');
    ::setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + conf).c_str(), 1);
    SetWaveBackend(WaveBackendKind::Alsa);
  }
  static void TearDownTestSuite() {
    delete s_folder;
    s_folder = nullptr;
  }
  void SetUp() override { std::remove(s_folder->File("out.raw").c_str()); }

  template <typename Caps>
  static int FindDevice(uint32_t count, MMRESULT (*getCaps)(uint32_t, Caps*), const wchar_t* name) {
    for (uint32_t id = 0; id < count; ++id) {
      Caps caps;
      if (getCaps(id, &caps) == MMSYSERR_NOERROR && caps.szPname == name) return static_cast<int>(id);
    }
    return -1;
  }

  static TempFolder* s_folder;
};
TempFolder* AlsaWave::s_folder = nullptr;

TEST_F(AlsaWave, ListsDefaultFirstThenTheConfiguredPcmsWithTheirFormats) {
  ASSERT_GE(waveInGetNumDevs(), 3u);
  WAVEINCAPS caps;
  ASSERT_EQ(waveInGetDevCaps(0, &caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.szPname, L"default");
  int capture = FindDevice(waveInGetNumDevs(), &waveInGetDevCaps, L"talvinor_test_capture");
  ASSERT_GT(capture, 0);
  ASSERT_EQ(waveInGetDevCaps(capture, &caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.szDescription, L"Talvinor test capture");
  EXPECT_EQ(caps.dwFormats, WAVE_FORMAT_ALL_STANDARD);  // the null slave takes anything
  EXPECT_EQ(caps.wChannels, 2);
  EXPECT_EQ(waveInGetDevCaps(waveInGetNumDevs(), &caps), MMSYSERR_BADDEVICEID);

  WAVEOUTCAPS outCaps;
  ASSERT_EQ(waveOutGetDevCaps(0, &outCaps), MMSYSERR_NOERROR);
  EXPECT_EQ(outCaps.szPname, L"default");
  EXPECT_GT(FindDevice(waveOutGetNumDevs(), &waveOutGetDevCaps, L"talvinor_test_playback"), 0);
}

TEST_F(AlsaWave, CaptureFromAFilePcmRecordsExactlyTheFilesSpeech) {
  Speech speech = Speak(*s_folder, "Talvinor records what the device hears.");
  ASSERT_GT(speech.pcm.size(), 20000u) << "espeak-ng made no speech";
  {
    std::ofstream in(s_folder->File("in.raw"), std::ios::binary);
    in.write(speech.pcm.data(), static_cast<std::streamsize>(speech.pcm.size()));
  }
  int device = FindDevice(waveInGetNumDevs(), &waveInGetDevCaps, L"talvinor_test_capture");
  ASSERT_GT(device, 0);
  WaveEvents events;
  HWAVEIN h = nullptr;
  ASSERT_EQ(waveInOpen(&h, device, &speech.format, &WaveEvents::InProc, events.Instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  TestHeader headers[3]{TestHeader(16384), TestHeader(16384), TestHeader(16384)};
  for (TestHeader& t : headers) {
    ASSERT_EQ(waveInPrepareHeader(h, &t.header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(h, &t.header, kHdr), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  // Take each returned header in turn and queue it again, as a recorder does.
  std::vector<char> recorded;
  for (size_t n = 1; recorded.size() < speech.pcm.size(); ++n) {
    ASSERT_TRUE(events.WaitFor(WIM_DATA, n));
    WAVEHDR* done = events.Headers(WIM_DATA)[n - 1];
    EXPECT_EQ(done, &headers[(n - 1) % 3].header);
    recorded.insert(recorded.end(), done->lpData, done->lpData + done->dwBytesRecorded);
    ASSERT_EQ(waveInAddBuffer(h, done, kHdr), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  for (TestHeader& t : headers) EXPECT_EQ(waveInUnprepareHeader(h, &t.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  recorded.resize(speech.pcm.size());  // past its end the plugin repeats stale data
  EXPECT_TRUE(recorded == speech.pcm);
  EXPECT_EQ(events.All().back().message, WIM_CLOSE);
}

TEST_F(AlsaWave, PlaybackToAFilePcmWritesExactlyWhatWasPlayedAcrossAPause) {
  Speech speech = Speak(*s_folder, "And it plays back every sample, no more and no less.");
  ASSERT_GT(speech.pcm.size(), 20000u) << "espeak-ng made no speech";
  int device = FindDevice(waveOutGetNumDevs(), &waveOutGetDevCaps, L"talvinor_test_playback");
  ASSERT_GT(device, 0);
  WaveEvents events;
  HWAVEOUT h = nullptr;
  ASSERT_EQ(waveOutOpen(&h, device, &speech.format, &WaveEvents::OutProc, events.Instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  // Uneven pieces, three headers in circulation, a pause after the fourth.
  const uint32_t sizes[] = {16384, 5000, 12346, 2};
  TestHeader headers[3]{TestHeader(16384), TestHeader(16384), TestHeader(16384)};
  for (TestHeader& t : headers) ASSERT_EQ(waveOutPrepareHeader(h, &t.header, kHdr), MMSYSERR_NOERROR);
  size_t sent = 0, written = 0;
  while (sent < speech.pcm.size()) {
    if (written >= 3) {
      ASSERT_TRUE(events.WaitFor(WOM_DONE, written - 2));
    }
    WAVEHDR& header = headers[written % 3].header;
    uint32_t piece = std::min<uint32_t>(sizes[written % 4], static_cast<uint32_t>(speech.pcm.size() - sent));
    std::memcpy(header.lpData, speech.pcm.data() + sent, piece);
    header.dwBufferLength = piece;
    ASSERT_EQ(waveOutWrite(h, &header, kHdr), MMSYSERR_NOERROR);
    sent += piece;
    if (++written == 4) {
      ASSERT_EQ(waveOutPause(h), MMSYSERR_NOERROR);
      ASSERT_EQ(waveOutRestart(h), MMSYSERR_NOERROR);
    }
  }
  ASSERT_TRUE(events.WaitFor(WOM_DONE, written));
  MMTIME t{};
  t.wType = TIME_BYTES;
  ASSERT_EQ(waveOutGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.u.cb, speech.pcm.size());
  ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
  std::vector<char> out = ReadAll(s_folder->File("out.raw"));
  EXPECT_EQ(out.size(), speech.pcm.size());
  EXPECT_TRUE(out == speech.pcm);
}

// This machine has no sound card; elsewhere `default` may well open. Either
// way the answer must come back promptly and cleanly.
TEST_F(AlsaWave, DefaultDeviceOpensOrFailsCleanly) {
  testing::TraceCapture trace;
  WAVEFORMATEX f = PcmWaveFormatEx(1, 44100, 16);
  WaveEvents events;
  HWAVEIN in = nullptr;
  MMRESULT r = waveInOpen(&in, 0, &f, &WaveEvents::InProc, events.Instance(), CALLBACK_FUNCTION);
  if (r == MMSYSERR_NOERROR) {
    TestHeader a(4096);
    ASSERT_EQ(waveInPrepareHeader(in, &a.header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, &a.header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(events.Count(WIM_DATA), 1u);
  } else {
    EXPECT_NE(r, MMSYSERR_INVALPARAM);
    EXPECT_EQ(in, nullptr);
    EXPECT_TRUE(trace.Contains("snd_pcm_open on \"default\" (capture)")) << "the failure names the call and device";
    EXPECT_EQ(events.All().size(), 0u);  // no callbacks for a device that did not open
  }
  HWAVEOUT out = nullptr;
  r = waveOutOpen(&out, 0, &f, nullptr, 0, CALLBACK_NULL);
  if (r == MMSYSERR_NOERROR)
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  else
    EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace talvinor
