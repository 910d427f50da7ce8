#include "audio/CRecWaveOut.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "audio/DeviceTestSupport.h"
#include "audio/GraphTestSupport.h"
#include "codec/PlaybackFilterChoice.h"
#include "codec/WaveFileSource.h"
#include "platform/Unicode.h"
#include "platform/ManualResetEvent.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using namespace testing;
using M = MasterState;

// A WAV source whose opening waits for the test, holding the master in Opening.
class GatedSource : public WaveFileSource {
 public:
  ManualResetEvent gate;
  bool Open(RefPtr<MessageQueue> peer, uint32_t parameter) override {
    gate.Wait(10000);
    return WaveFileSource::Open(std::move(peer), parameter);
  }
};

// Counts what the master asks of a filter; changes no sample.
class ProbeFilter : public PlaybackFilter {
 public:
  int prepared = 0;
  WaveFormat format;
  uint64_t processedBytes = 0;
  void Prepare(const WaveFormat& f) override {
    ++prepared;
    format = f;
  }
  void Process(uint8_t*, uint32_t bytes, const WaveFormat&) override { processedBytes += bytes; }
};

// Holds the master's thread inside Process until the test lets it go.
class HeldFilter : public PlaybackFilter {
 public:
  ManualResetEvent entered, release;
  void Prepare(const WaveFormat&) override {}
  void Process(uint8_t*, uint32_t, const WaveFormat&) override {
    entered.Set();
    release.Wait(10000);
  }
};

class CRecWaveOutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveBackend(WaveBackendKind::Virtual);
    Backend().ResetToDefaults();
    Output(0);
    m_pcm = TestPcm16(kRate * kSeconds, 1);
    WriteBytes(m_folder.File("play.wav"), WavBytes(m_pcm, 1, kRate, 16));
  }
  void TearDown() override { Backend().ResetToDefaults(); }

  static VirtualWaveBackend& Backend() { return VirtualWaveBackend::Instance(); }
  static void Output(double pace, MMRESULT openResult = MMSYSERR_NOERROR) {
    VirtualWaveDevice d;
    d.name = L"speaker";
    d.pace = pace;
    d.openResult = openResult;
    Backend().SetDevices(WaveDirection::Output, {d});
  }
  static std::string Played() {
    std::vector<uint8_t> bytes = Backend().Played(0);
    return std::string(bytes.begin(), bytes.end());
  }
  bool Setup(CRecWaveOut* master, const std::string& file, EndOfStreamAction atEnd,
             RefPtr<AudioSource> source = nullptr) {
    if (!source) source = Create<WaveFileSource>();
    return master->Setup(0, m_folder.WFile(Utf8ToWide(file)), source) && master->SetEndOfStreamAction(atEnd);
  }
  // Bytes of `milliseconds` of the test file.
  static size_t Bytes(uint32_t milliseconds) { return static_cast<size_t>(milliseconds) * kRate / 1000 * 2; }

  static constexpr uint32_t kRate = 8000;
  static constexpr uint32_t kSeconds = 4;
  TempFolder m_folder;
  std::string m_pcm;
};

// What a choice's filters make of `pcm`, worked out with filters of our own.
std::string Filtered(std::string pcm, const WaveFormat& format, FilterChoice choice) {
  const FilterChoiceEntry& entry = kFilterChoices[static_cast<uint32_t>(choice)];
  uint8_t* data = reinterpret_cast<uint8_t*>(pcm.data());
  uint32_t size = static_cast<uint32_t>(pcm.size());
  if (entry.smoothingWindowUs != 0) {
    RefPtr<SmoothingFilter> smoothing = Create<SmoothingFilter>();
    smoothing->SetWindow(entry.smoothingWindowUs);
    smoothing->Prepare(format);
    smoothing->Process(data, size, format);
  }
  if (entry.boostGain != 0) {
    RefPtr<VolumeBoostFilter> boost = Create<VolumeBoostFilter>();
    EXPECT_TRUE(boost->Setup(entry.boostPercent, entry.boostGain));
    boost->Process(data, size, format);
  }
  return pcm;
}

TEST_F(CRecWaveOutTest, PlaysAWavFileExactlyAndThroughEachFilterChoice) {
  // Known samples at the start: 4000 and 20000 under the first boost become
  // 8000 and 24256; full scale stays.
  std::string pcm = m_pcm;
  for (auto [at, value] : {std::pair{0, 4000}, {1, 20000}, {2, 32767}, {3, -32767}}) {
    pcm[2 * at] = static_cast<char>(value & 0xFF);
    pcm[2 * at + 1] = static_cast<char>((value >> 8) & 0xFF);
  }
  WriteBytes(m_folder.File("play.wav"), WavBytes(pcm, 1, kRate, 16));
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  NoticeLog log(master.Get(), kWmPlayNotify);
  for (uint32_t choice = 0; choice < kFilterChoiceCount; ++choice) {
    SCOPED_TRACE(choice);
    Backend().ClearPlayed(0);
    ASSERT_TRUE(ApplyFilterChoice(master.Get(), static_cast<FilterChoice>(choice)));
    ASSERT_TRUE(Setup(master.Get(), "play.wav", EndOfStreamAction::Close));
    ASSERT_TRUE(master->Start());
    EXPECT_EQ(log.Until(M::Closed), (std::vector<Notice>{N(M::Opening, M::Closed), N(M::Running, M::Opening),
                                                         N(M::Draining, M::Running), N(M::Closed, M::Draining)}));
    EXPECT_EQ(master->GetStopReason(), StopReason::EndOfStream);
    std::string played = Played();
    ASSERT_EQ(played.size(), pcm.size());
    EXPECT_TRUE(played == Filtered(pcm, EngineFormat(1, kRate, 16), static_cast<FilterChoice>(choice)));
    EXPECT_EQ(played == pcm, choice == 0);
    if (choice == 1) {
      EXPECT_EQ(ReadLe(played, 0, 2), 8000u);
      EXPECT_EQ(ReadLe(played, 2, 2), 24256u);
      EXPECT_EQ(ReadLe(played, 4, 2), 32767u);
      EXPECT_EQ(static_cast<int16_t>(ReadLe(played, 6, 2)), -32767);
    }
  }
  EXPECT_EQ(master->GetPosition(), 0u);
}

TEST_F(CRecWaveOutTest, EightBitSoundPassesEveryFilterUnchanged) {
  std::string pcm;
  for (uint32_t i = 0; i < 20000; ++i) pcm.push_back(static_cast<char>(i * 7));
  WriteBytes(m_folder.File("8bit.wav"), WavBytes(pcm, 2, 11025, 8));
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  ASSERT_TRUE(ApplyFilterChoice(master.Get(), FilterChoice::StrongNoise));
  ASSERT_TRUE(Setup(master.Get(), "8bit.wav", EndOfStreamAction::Close));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(master->WaitForState(M::Closed, 5000, 1));
  EXPECT_EQ(master->GetStopReason(), StopReason::EndOfStream);
  EXPECT_TRUE(Played() == pcm);
}

TEST_F(CRecWaveOutTest, EndOfStreamWithFlagBit0StaysPausedAtTheEndWithTheDeviceOpen) {
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  NoticeLog log(master.Get(), kWmPlayNotify);
  ASSERT_TRUE(master->Setup(0, m_folder.WFile(L"play.wav"), Create<WaveFileSource>()));  // sets bit 0
  ASSERT_TRUE(master->Start());
  EXPECT_EQ(log.Until(M::Paused), (std::vector<Notice>{N(M::Opening, M::Closed), N(M::Running, M::Opening),
                                                       N(M::EndPausing, M::Running), N(M::Paused, M::EndPausing)}));
  EXPECT_EQ(master->GetStopReason(), StopReason::EndOfStream);
  EXPECT_TRUE(master->GetDevice()->IsOpen());
  EXPECT_FALSE(master->GetDevice()->IsPaused());
  EXPECT_EQ(master->GetPosition(), kSeconds * 1000);
  EXPECT_EQ(master->GetLength(), kSeconds * 1000);
  EXPECT_TRUE(Played() == m_pcm);

  // Resuming restarts the source where it stands: at the end again.
  ASSERT_TRUE(master->Resume());
  std::vector<Notice> again = log.Until(M::Paused);
  ASSERT_FALSE(again.empty());
  EXPECT_EQ(again.front(), N(M::Resuming, M::Paused));
  EXPECT_EQ(again.back(), N(M::Paused, M::EndPausing));
  EXPECT_TRUE(Played() == m_pcm);

  EXPECT_TRUE(master->Close());
  EXPECT_EQ(log.Until(M::Closed), (std::vector<Notice>{N(M::Stopping, M::Paused), N(M::Closed, M::Stopping)}));
  EXPECT_EQ(master->GetStopReason(), StopReason::ByOwner);
  EXPECT_FALSE(master->GetDevice()->IsOpen());
}

TEST_F(CRecWaveOutTest, SeekWhilePausedShowsTheTargetAndPlaysOnFromItAlsoPastTheEnd) {
  Output(4.0);
  // Long enough that the source, which reads 2 s ahead, has not reached the
  // end at the second pause.
  const uint32_t length = 10000;
  const std::string pcm = TestPcm16(kRate * length / 1000, 1);
  WriteBytes(m_folder.File("long.wav"), WavBytes(pcm, 1, kRate, 16));
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  NoticeLog log(master.Get(), kWmPlayNotify);
  ASSERT_TRUE(Setup(master.Get(), "long.wav", EndOfStreamAction::Pause));
  ASSERT_TRUE(master->Start());
  ASSERT_EQ(log.Until(M::Running).back(), N(M::Running, M::Opening));
  EXPECT_EQ(master->GetLength(), length);
  ASSERT_TRUE(WaitUntil([&] { return master->GetPosition() >= 300; }));
  ASSERT_TRUE(master->Pause());
  EXPECT_EQ(log.Until(M::Paused), (std::vector<Notice>{N(M::Pausing, M::Running), N(M::Paused, M::Pausing)}));
  EXPECT_TRUE(master->GetDevice()->IsPaused());
  size_t first = Played().size();
  ASSERT_GT(first, 0u);
  ASSERT_TRUE(master->Seek(2000));
  EXPECT_EQ(master->GetPosition(), 2000u);

  ASSERT_TRUE(master->Resume());
  EXPECT_EQ(log.Until(M::Running), (std::vector<Notice>{N(M::Resuming, M::Paused), N(M::Running, M::Resuming)}));
  ASSERT_TRUE(WaitUntil([&] { return master->GetPosition() >= 2300; }));
  ASSERT_TRUE(master->Pause());
  ASSERT_EQ(log.Until(M::Paused).back(), N(M::Paused, M::Pausing));
  size_t second = Played().size() - first;
  // The player's skip past the end: the last millisecond, then the end.
  ASSERT_TRUE(master->Seek(length - 1));
  EXPECT_EQ(master->GetPosition(), length - 1);
  ASSERT_TRUE(master->Resume());
  std::vector<Notice> toEnd = log.Until(M::Paused);
  ASSERT_FALSE(toEnd.empty());
  EXPECT_EQ(toEnd.back(), N(M::Paused, M::EndPausing));
  EXPECT_EQ(master->GetPosition(), length);

  // What was played: the start up to the first pause, from 2 s up to the
  // second pause, and the last millisecond; nothing that was queued at a
  // pause and then skipped.
  std::string played = Played();
  size_t tail = Bytes(1);
  ASSERT_EQ(played.size(), first + second + tail);
  EXPECT_TRUE(played.substr(0, first) == pcm.substr(0, first));
  EXPECT_TRUE(played.substr(first, second) == pcm.substr(Bytes(2000), second));
  EXPECT_TRUE(played.substr(first + second) == pcm.substr(pcm.size() - tail));
  EXPECT_TRUE(master->Close());
}

TEST_F(CRecWaveOutTest, CloseWhileDrainingKeepsTheEndOfStreamReason) {
  Output(1.0);
  WriteBytes(m_folder.File("short.wav"), WavBytes(m_pcm.substr(0, Bytes(800)), 1, kRate, 16));
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  NoticeLog log(master.Get(), kWmPlayNotify);
  ASSERT_TRUE(Setup(master.Get(), "short.wav", EndOfStreamAction::Close));
  ASSERT_TRUE(master->Start());
  // The whole file fits the source's buffers, so it ends at once and then
  // plays out for 0.8 s.
  ASSERT_EQ(log.Until(M::Draining).back(), N(M::Draining, M::Running));
  master->Close();
  ASSERT_TRUE(master->WaitForState(M::Closed, 5000, 1));
  EXPECT_EQ(log.Until(M::Closed), (std::vector<Notice>{N(M::Closed, M::Draining)}));
  EXPECT_EQ(master->GetStopReason(), StopReason::EndOfStream);
  EXPECT_TRUE(Played() == m_pcm.substr(0, Bytes(800)));
}

TEST_F(CRecWaveOutTest, FailuresStopWithTheirReasons) {
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  NoticeLog log(master.Get(), kWmPlayNotify);
  const std::vector<Notice> failed = {N(M::Opening, M::Closed), N(M::Stopping, M::Opening), N(M::Closed, M::Stopping)};
  auto run = [&](const std::string& file) {
    EXPECT_TRUE(Setup(master.Get(), file, EndOfStreamAction::Close));
    EXPECT_TRUE(master->Start());
    EXPECT_EQ(log.Until(M::Closed), failed) << file;
    return master->GetStopReason();
  };
  EXPECT_EQ(run("missing.wav"), StopReason::FileOpen);
  WriteBytes(m_folder.File("noise.wav"), std::string(4096, '\x55'));
  EXPECT_EQ(run("noise.wav"), StopReason::MalformedStream);
  WriteBytes(m_folder.File("empty.wav"), "");
  EXPECT_EQ(run("empty.wav"), StopReason::SetupFailure);
  Output(0, WAVERR_BADFORMAT);
  EXPECT_EQ(run("play.wav"), StopReason::DeviceFailure);
  EXPECT_FALSE(master->GetDevice()->IsOpen());
  EXPECT_TRUE(Played().empty());
  EXPECT_FALSE(master->Setup(0, L"", Create<WaveFileSource>()));
  EXPECT_FALSE(master->Setup(0, m_folder.WFile(L"play.wav"), nullptr));
}

TEST_F(CRecWaveOutTest, ARunClosedByAFailureRefusesAnyLaterStopAndKeepsItsReason) {
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  NoticeLog log(master.Get(), kWmPlayNotify);
  TraceCapture trace;
  ASSERT_TRUE(Setup(master.Get(), "missing.wav", EndOfStreamAction::Close));
  ASSERT_TRUE(master->Start());
  ASSERT_EQ(log.Until(M::Closed).back(), N(M::Closed, M::Stopping));
  ASSERT_EQ(master->GetStopReason(), StopReason::FileOpen);
  EXPECT_TRUE(trace.Contains("Master::OnAbort - 0000001fh"));
  ASSERT_TRUE(WaitUntil([&] { return !master->IsRunning(); }));
  for (StopReason late : {StopReason::ByOwner, StopReason::EndOfStream, StopReason::FileRead}) {
    EXPECT_FALSE(master->StopWithReason(0, late));
    EXPECT_TRUE(master->IsState(M::Closed));
    EXPECT_EQ(master->GetStopReason(), StopReason::FileOpen);
  }
  EXPECT_FALSE(master->Close());
  EXPECT_FALSE(master->Pause());
  EXPECT_FALSE(master->Resume());
  EXPECT_TRUE(log.Until(M::Closed, 20).empty());
}

TEST_F(CRecWaveOutTest, FiltersChangeOnlyInStatesThatAllowItAndArePreparedWithTheFormat) {
  Output(2.0);
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  RefPtr<ProbeFilter> stored = Create<ProbeFilter>();
  RefPtr<ProbeFilter> late = Create<ProbeFilter>();
  EXPECT_FALSE(master->AddFilter(nullptr));
  ASSERT_TRUE(master->AddFilter(stored));  // while Closed: only stored
  EXPECT_EQ(stored->prepared, 0);

  RefPtr<GatedSource> source = Create<GatedSource>();
  ASSERT_TRUE(Setup(master.Get(), "play.wav", EndOfStreamAction::Close, source));
  ASSERT_TRUE(master->Start());
  EXPECT_TRUE(master->IsState(M::Opening));
  EXPECT_FALSE(master->ClearFilters());
  EXPECT_FALSE(master->AddFilter(late));
  source->gate.Set();
  ASSERT_TRUE(master->WaitForState(M::Running, 5000, 1));
  EXPECT_EQ(stored->prepared, 1);
  EXPECT_EQ(stored->format, EngineFormat(1, kRate, 16));
  ASSERT_TRUE(master->AddFilter(late));  // while Running: prepared at once
  EXPECT_EQ(late->prepared, 1);
  EXPECT_EQ(master->GetFilterCount(), 2u);
  ASSERT_TRUE(master->WaitForState(M::Closed, 10000, 5));
  EXPECT_EQ(stored->processedBytes, m_pcm.size());
  EXPECT_TRUE(master->ClearFilters());
  EXPECT_EQ(master->GetFilterCount(), 0u);
}

TEST_F(CRecWaveOutTest, HundredsOfStartStopCyclesLeakNothing) {
  Output(4.0);
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  int32_t buffers = 0, messages = 0, components = 0;
  for (int cycle = 0; cycle < 200; ++cycle) {
    ASSERT_TRUE(Setup(master.Get(), "play.wav", EndOfStreamAction::Pause)) << cycle;
    ASSERT_TRUE(master->Start()) << cycle;
    ASSERT_TRUE(master->WaitForState(M::Running, 5000, 1)) << cycle;
    ASSERT_TRUE(master->Close()) << cycle;
    ASSERT_EQ(master->GetStopReason(), StopReason::ByOwner);
    if (cycle == 0) {
      buffers = AudioBuffer::LiveCount();
      messages = GraphMessage::LiveCount();
      components = AudioComponent::LiveCount();
    }
  }
  EXPECT_EQ(AudioBuffer::LiveCount(), buffers);
  EXPECT_EQ(GraphMessage::LiveCount(), messages);
  EXPECT_EQ(AudioComponent::LiveCount(), components);
}

// The page reads the position and length on its own thread several times a
// second; a filter working on a buffer must not hold those reads up.
TEST_F(CRecWaveOutTest, PositionAndLengthAnswerWhileAFilterIsWorking) {
  Output(1.0);
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  RefPtr<HeldFilter> filter = Create<HeldFilter>();
  ASSERT_TRUE(master->AddFilter(filter));
  ASSERT_TRUE(Setup(master.Get(), "play.wav", EndOfStreamAction::Close));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(filter->entered.Wait(5000));

  ManualResetEvent answered;
  uint32_t length = 0;
  std::thread reader([&] {
    master->GetPosition();
    length = master->GetLength();
    answered.Set();
  });
  bool inTime = answered.Wait(5000);
  filter->release.Set();
  reader.join();
  EXPECT_TRUE(inTime) << "the reads waited for the filter";
  EXPECT_EQ(length, kSeconds * 1000);
  master->Close();
}

}  // namespace
}  // namespace talvinor
