#include "audio/CRecWaveIn.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/DeviceTestSupport.h"
#include "audio/GraphTestSupport.h"
#include "codec/SpeexEncoder.h"
#include "codec/VorbisEncoder.h"
#include "codec/WaveFileEncoder.h"
#include "platform/ManualResetEvent.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using namespace testing;
using M = MasterState;

// A WAV encoder whose connection waits for the test, so the master can be
// held in Opening.
class GatedEncoder : public WaveFileEncoder {
 public:
  ManualResetEvent gate;
  bool Connect(RefPtr<MessageQueue> peer) override {
    gate.Wait(10000);
    return WaveFileEncoder::Connect(std::move(peer));
  }
};

class CRecWaveInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveBackend(WaveBackendKind::Virtual);
    Backend().ResetToDefaults();
    Program(m_input);
  }
  void TearDown() override { Backend().ResetToDefaults(); }

  static VirtualWaveBackend& Backend() { return VirtualWaveBackend::Instance(); }
  void Program(const VirtualWaveDevice& device) {
    m_input = device;
    Backend().SetDevices(WaveDirection::Input, {device});
  }
  static VirtualWaveDevice CounterInput(double pace) {
    VirtualWaveDevice d;
    d.name = L"mic";
    d.signal = VirtualSignal::Counter;
    d.pace = pace;
    return d;
  }
  static RefPtr<WaveFileEncoder> Wav(uint16_t channels, uint32_t rate, uint16_t bits) {
    RefPtr<WaveFileEncoder> e = Create<WaveFileEncoder>();
    e->SetFormat(channels, rate, bits);
    return e;
  }
  // The PCM of a WAV recording whose header must carry its final sizes.
  static std::string RecordedPcm(const std::string& path) {
    std::string file = ReadBytes(path);
    EXPECT_GE(file.size(), 44u);
    if (file.size() < 44) return {};
    EXPECT_EQ(ReadLe(file, 4, 4), file.size() - 8);
    EXPECT_EQ(ReadLe(file, 40, 4), file.size() - 44);
    return file.substr(44);
  }
  // True when `pcm` is frames 0.. of the input's signal, nothing lost.
  void ExpectWholeSignal(const std::string& pcm, const WAVEFORMATEX& format) {
    ASSERT_EQ(pcm.size() % format.nBlockAlign, 0u);
    uint32_t frames = static_cast<uint32_t>(pcm.size() / format.nBlockAlign);
    VirtualDeviceStats stats = Backend().Stats(WaveDirection::Input, 0);
    ASSERT_EQ(stats.overruns, 0u) << "the machine was too slow for the paced input";
    EXPECT_EQ(stats.frames, frames);
    EXPECT_TRUE(pcm == VirtualSignalBytes(m_input, format, 0, frames)) << frames << " frames differ";
  }

  VirtualWaveDevice m_input = CounterInput(2.0);
};

TEST_F(CRecWaveInTest, WavRecordingHoldsExactlyTheSignalThroughThreeReusedBuffers) {
  TempFolder folder;
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  NoticeLog log(master.Get());
  EXPECT_EQ(master->GetPosition(), 0u);
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"rz.wav"), Wav(2, 22050, 16)));
  ASSERT_TRUE(master->Start());
  EXPECT_FALSE(master->Start());
  EXPECT_EQ(log.Until(M::Running), (std::vector<Notice>{N(M::Opening, M::Closed), N(M::Running, M::Opening)}));
  EXPECT_EQ(master->GetDevice()->BufferCount(), CRecWaveIn::kDeviceBufferCount);
  ASSERT_TRUE(WaitUntil([&] { return master->GetPosition() >= 400; }));
  uint64_t allocations = AudioBuffer::StorageAllocations();
  ASSERT_TRUE(WaitUntil([&] { return master->GetPosition() >= 1200; }));
  EXPECT_EQ(AudioBuffer::StorageAllocations(), allocations) << "buffers were allocated while recording";
  WaveFormat format;
  ASSERT_TRUE(master->GetFormat(&format));
  EXPECT_EQ(format, EngineFormat(2, 22050, 16));

  EXPECT_TRUE(master->Close());
  EXPECT_EQ(log.Until(M::Closed), (std::vector<Notice>{N(M::Stopping, M::Running), N(M::Closed, M::Stopping)}));
  EXPECT_EQ(master->GetStopReason(), StopReason::ByOwner);
  EXPECT_EQ(master->GetPosition(), 0u);
  EXPECT_EQ(master->GetDevice()->BufferCount(), 0u);
  EXPECT_FALSE(master->GetDevice()->IsOpen());
  std::string pcm = RecordedPcm(folder.File("rz.wav"));
  EXPECT_GE(pcm.size(), 22050u * 4);  // at least the 1.2 s waited for
  ExpectWholeSignal(pcm, DeviceFormat(22050, 2, 16));
}

TEST_F(CRecWaveInTest, EightBitRecordingUsesSmallerBuffersAndKeepsItsSamples) {
  TempFolder folder;
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"8bit.wav"), Wav(1, 11025, 8)));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(master->WaitForState(M::Running, 5000, 1));
  ASSERT_TRUE(WaitUntil([&] { return master->GetPosition() >= 900; }));
  EXPECT_TRUE(master->Close());
  std::string pcm = RecordedPcm(folder.File("8bit.wav"));
  // 8192-byte buffers of 11025 Hz 8-bit mono are 743 ms each.
  EXPECT_GE(pcm.size(), 8192u);
  ExpectWholeSignal(pcm, DeviceFormat(11025, 1, 8));
}

TEST_F(CRecWaveInTest, PauseResumeAndStopInEveryOrderTheMasterAllows) {
  TempFolder folder;
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  NoticeLog log(master.Get());
  RefPtr<GatedEncoder> encoder = Create<GatedEncoder>();
  encoder->SetFormat(1, 16000, 16);
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"pauses.wav"), encoder));
  ASSERT_TRUE(master->Start());
  EXPECT_EQ(log.Until(M::Opening), (std::vector<Notice>{N(M::Opening, M::Closed)}));
  EXPECT_FALSE(master->Pause());  // while opening
  EXPECT_FALSE(master->Resume());
  encoder->gate.Set();
  ASSERT_EQ(log.Until(M::Running), (std::vector<Notice>{N(M::Running, M::Opening)}));
  EXPECT_FALSE(master->Resume());  // while running

  ASSERT_TRUE(WaitUntil([&] { return master->GetPosition() >= 300; }));
  EXPECT_TRUE(master->Pause());
  EXPECT_EQ(log.Until(M::Paused), (std::vector<Notice>{N(M::Pausing, M::Running), N(M::Paused, M::Pausing)}));
  EXPECT_FALSE(master->Pause());
  uint32_t pausedAt = master->GetPosition();
  Sleep(100);
  EXPECT_EQ(master->GetPosition(), pausedAt);
  EXPECT_TRUE(master->Resume());
  EXPECT_EQ(log.Until(M::Running), (std::vector<Notice>{N(M::Resuming, M::Paused), N(M::Running, M::Resuming)}));
  ASSERT_TRUE(WaitUntil([&] { return master->GetPosition() >= pausedAt + 300; }));
  EXPECT_TRUE(master->Pause());
  EXPECT_EQ(log.Until(M::Paused).back(), N(M::Paused, M::Pausing));

  // Stopping while paused: the stopped device is reset and all three
  // buffers come back before it closes.
  EXPECT_TRUE(master->Close());
  EXPECT_EQ(log.Until(M::Closed), (std::vector<Notice>{N(M::Stopping, M::Paused), N(M::Closed, M::Stopping)}));
  EXPECT_EQ(master->GetStopReason(), StopReason::ByOwner);
  ExpectWholeSignal(RecordedPcm(folder.File("pauses.wav")), DeviceFormat(16000, 1, 16));

  // Stopping while opening ends the run before it records anything.
  RefPtr<GatedEncoder> second = Create<GatedEncoder>();
  second->SetFormat(1, 16000, 16);
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"stopped.wav"), second));
  ASSERT_TRUE(master->Start());
  EXPECT_FALSE(master->StopWithReason(0, StopReason::ByOwner));  // does not wait
  second->gate.Set();
  EXPECT_EQ(log.Until(M::Closed), (std::vector<Notice>{N(M::Opening, M::Closed), N(M::Stopping, M::Opening),
                                                        N(M::Closed, M::Stopping)}));
  EXPECT_EQ(master->GetStopReason(), StopReason::ByOwner);
}

TEST_F(CRecWaveInTest, ExistingFileStopsWithReason31AfterRunningAndIsLeftAlone) {
  TempFolder folder;
  WriteBytes(folder.File("taken.wav"), "someone else's file");
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  NoticeLog log(master.Get());
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"taken.wav"), Wav(1, 8000, 16)));
  ASSERT_TRUE(master->Start());
  // The file worker fails on its own thread after the device has started.
  EXPECT_EQ(log.Until(M::Closed),
            (std::vector<Notice>{N(M::Opening, M::Closed), N(M::Running, M::Opening), N(M::Stopping, M::Running),
                                 N(M::Closed, M::Stopping)}));
  EXPECT_EQ(master->GetStopReason(), StopReason::FileOpen);
  EXPECT_EQ(ReadBytes(folder.File("taken.wav")), "someone else's file");
  EXPECT_EQ(master->GetDevice()->BufferCount(), 0u);
}

TEST_F(CRecWaveInTest, DeviceThatRefusesTheFormatOrWillNotOpenGives91) {
  TempFolder folder;
  VirtualWaveDevice narrow = CounterInput(1.0);
  narrow.formats = WAVE_FORMAT_1M08;
  narrow.acceptsNonStandard = false;
  VirtualWaveDevice busy = CounterInput(1.0);
  busy.openResult = MMSYSERR_ALLOCATED;
  Backend().SetDevices(WaveDirection::Input, {narrow, busy});
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  NoticeLog log(master.Get());
  const std::vector<Notice> failed = {N(M::Opening, M::Closed), N(M::Stopping, M::Opening), N(M::Closed, M::Stopping)};

  ASSERT_TRUE(master->Setup(0, folder.WFile(L"a.wav"), Wav(2, 44100, 16)));
  ASSERT_TRUE(master->Start());
  EXPECT_EQ(log.Until(M::Closed), failed);
  EXPECT_EQ(master->GetStopReason(), StopReason::DeviceFailure);

  ASSERT_TRUE(master->Setup(1, folder.WFile(L"b.wav"), Wav(1, 11025, 8)));
  ASSERT_TRUE(master->Start());
  EXPECT_EQ(log.Until(M::Closed), failed);
  EXPECT_EQ(master->GetStopReason(), StopReason::DeviceFailure);

  ASSERT_TRUE(master->Setup(7, folder.WFile(L"c.wav"), Wav(1, 11025, 8)));  // no such device
  ASSERT_TRUE(master->Start());
  EXPECT_EQ(log.Until(M::Closed), failed);
  EXPECT_EQ(master->GetStopReason(), StopReason::DeviceFailure);

  // Bad set-ups are refused before anything starts.
  EXPECT_FALSE(master->Setup(0, L"", Wav(1, 8000, 16)));
  EXPECT_FALSE(master->Setup(0, folder.WFile(L"d.wav"), nullptr));
}

TEST_F(CRecWaveInTest, AFailureIsNotHiddenByTheOwnersStopAndAClosedRunStaysClosed) {
  TempFolder folder;
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  NoticeLog log(master.Get());
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"f.wav"), Wav(1, 8000, 16)));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(master->WaitForState(M::Running, 5000, 1));
  master->Inbox()->Post(MakeAbortMessage(StopReason::FileWrite));
  master->Close();  // the user presses stop while the failure is handled
  ASSERT_TRUE(master->WaitForState(M::Closed, 5000, 1));
  EXPECT_EQ(master->GetStopReason(), StopReason::FileWrite);
  // A stop that arrives after the run has closed changes nothing.
  EXPECT_FALSE(master->StopWithReason(0, StopReason::ByOwner));
  EXPECT_TRUE(master->IsState(M::Closed));
  EXPECT_EQ(master->GetStopReason(), StopReason::FileWrite);
  EXPECT_EQ(log.Until(M::Closed).back(), N(M::Closed, M::Stopping));
}

TEST_F(CRecWaveInTest, ARunClosedByAFailureRefusesAnyLaterStopAndTracesTheAbort) {
  TempFolder folder;
  WriteBytes(folder.File("taken.wav"), "someone else's file");
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  NoticeLog log(master.Get());
  TraceCapture trace;
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"taken.wav"), Wav(1, 8000, 16)));
  ASSERT_TRUE(master->Start());
  ASSERT_EQ(log.Until(M::Closed).back(), N(M::Closed, M::Stopping));
  ASSERT_EQ(master->GetStopReason(), StopReason::FileOpen);
  EXPECT_TRUE(trace.Contains("Master::OnAbort - 0000001fh"));
  ASSERT_TRUE(WaitUntil([&] { return !master->IsRunning(); }));
  for (StopReason late : {StopReason::ByOwner, StopReason::FileWrite}) {
    EXPECT_FALSE(master->StopWithReason(0, late));
    EXPECT_TRUE(master->IsState(M::Closed));
    EXPECT_EQ(master->GetStopReason(), StopReason::FileOpen);
  }
  EXPECT_FALSE(master->Close());
  EXPECT_TRUE(log.Until(M::Closed, 20).empty());
}

TEST_F(CRecWaveInTest, AFailedWriteEndsTheRecordingInsteadOfWaitingForTheLostBuffers) {
  TempFolder folder;
  Program(CounterInput(0));  // unpaced: the limit is reached at once
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"full.wav"), Wav(2, 44100, 16)));
  // The file system refuses to let the file grow past 100000 bytes, as a
  // full card does.
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = old;
  limited.rlim_cur = 100000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  ASSERT_TRUE(master->Start());
  bool closed = master->WaitForState(M::Closed, 10000, 5);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  ASSERT_TRUE(closed) << "state " << static_cast<int>(master->GetState());
  EXPECT_EQ(master->GetStopReason(), StopReason::FileWrite);
  EXPECT_TRUE(WaitUntil([&] { return !master->IsRunning(); }));
  EXPECT_EQ(master->GetDevice()->BufferCount(), 0u);
}

TEST_F(CRecWaveInTest, ARunThatFailsBeforeAnySoundRemovesItsFileButNeverAnotherOrOneWithSound) {
  TempFolder folder;
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  auto run = [&](uint32_t device, const std::wstring& path, RefPtr<AudioEncoder> encoder) {
    EXPECT_TRUE(master->Setup(device, path, std::move(encoder)));
    EXPECT_TRUE(master->Start());
    EXPECT_TRUE(master->WaitForState(M::Closed, 10000, 1));
    return master->GetStopReason();
  };
  VirtualWaveDevice busy = CounterInput(1.0);
  busy.openResult = MMSYSERR_ALLOCATED;
  Backend().SetDevices(WaveDirection::Input, {CounterInput(4.0), busy});

  // The device cannot be had: the file it made holds only a header.
  TraceCapture trace;
  EXPECT_EQ(run(1, folder.WFile(L"busy.wav"), Wav(1, 8000, 16)), StopReason::DeviceFailure);
  EXPECT_FALSE(std::filesystem::exists(folder.File("busy.wav")));
  EXPECT_TRUE(master->RemovedEmptyFile());
  EXPECT_TRUE(trace.Contains("removed"));

  // The encoder refuses the format (Speex goes up to 48 kHz).
  RefPtr<SpeexEncoder> speex = Create<SpeexEncoder>();
  speex->SetFormat(1, 96000, 16);
  const StopReason refused = run(0, folder.WFile(L"refused.spx"), speex);
  EXPECT_EQ(refused, StopReason::EncoderStartFailure);
  EXPECT_FALSE(std::filesystem::exists(folder.File("refused.spx"))) << StopCode(refused);

  // A file that was there already is never the run's to remove.
  WriteBytes(folder.File("taken.wav"), "someone else's file");
  EXPECT_EQ(run(0, folder.WFile(L"taken.wav"), Wav(1, 8000, 16)), StopReason::FileOpen);
  EXPECT_EQ(ReadBytes(folder.File("taken.wav")), "someone else's file");
  EXPECT_FALSE(master->RemovedEmptyFile());

  // The owner's stop keeps its file, however short.
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"asked.wav"), Wav(1, 8000, 16)));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(master->WaitForState(M::Running, 5000, 1));
  master->Close();
  ASSERT_TRUE(master->WaitForState(M::Closed, 10000, 1));
  EXPECT_TRUE(std::filesystem::exists(folder.File("asked.wav")));

  // A failure after sound was recorded keeps what was recorded.
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"sound.wav"), Wav(1, 8000, 16)));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(WaitUntil([&] { return master->GetInputLevel().buffers >= 1; }));
  master->Inbox()->Post(MakeAbortMessage(StopReason::DeviceFailure));
  ASSERT_TRUE(master->WaitForState(M::Closed, 10000, 1));
  EXPECT_EQ(master->GetStopReason(), StopReason::DeviceFailure);
  ASSERT_TRUE(std::filesystem::exists(folder.File("sound.wav")));
  EXPECT_GT(std::filesystem::file_size(folder.File("sound.wav")), 44u);
  EXPECT_FALSE(master->RemovedEmptyFile());
}

TEST_F(CRecWaveInTest, TheInputLevelIsMeasuredOnEveryCapturedBufferUnlessTurnedOff) {
  TempFolder folder;
  VirtualWaveDevice sine = CounterInput(4.0);
  sine.signal = VirtualSignal::Sine;
  sine.amplitude = 0.5;
  sine.frequency = 1000;
  Program(sine);
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"level.wav"), Wav(2, 44100, 16)));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(WaitUntil([&] { return master->GetInputLevel().buffers >= 3; }));
  LevelReading level = master->GetInputLevel();
  EXPECT_NEAR(level.peakDb, -6.0, 0.3);
  EXPECT_NEAR(level.rmsDb, -9.0, 0.3);
  ASSERT_TRUE(master->Close());

  // Off: nothing is measured, and the next run starts from nothing.
  master->SetLevelMetering(false);
  ASSERT_TRUE(master->Setup(0, folder.WFile(L"quiet.wav"), Wav(2, 44100, 16)));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(WaitUntil([&] { return master->GetPosition() >= 1000; }));
  level = master->GetInputLevel();
  EXPECT_EQ(level.buffers, 0u);
  EXPECT_EQ(level.peakDb, InputLevel::kFloorDb);
  ASSERT_TRUE(master->Close());
}

TEST_F(CRecWaveInTest, HundredsOfStartStopCyclesLeakNothing) {
  TempFolder folder;
  Program(CounterInput(4.0));
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  int32_t buffers = 0, messages = 0, components = 0;
  for (int cycle = 0; cycle < 200; ++cycle) {
    std::wstring path = folder.WFile(L"c" + std::to_wstring(cycle) + L".wav");
    ASSERT_TRUE(master->Setup(0, path, Wav(1, 8000, 16)));
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
  ASSERT_TRUE(WaitUntil([&] { return !master->IsRunning(); }));
  EXPECT_EQ(AudioBuffer::LiveCount(), buffers);
  EXPECT_EQ(GraphMessage::LiveCount(), messages);
  EXPECT_EQ(AudioComponent::LiveCount(), components);
  master = nullptr;
  EXPECT_EQ(AudioComponent::LiveCount(), components - 2);  // the last encoder and the default one
}

// Mean power of `pcm` (16-bit mono) at `frequency`, against its whole power:
// near 1 for a clean tone.
double ToneShare(const std::vector<int16_t>& pcm, uint32_t rate, double frequency) {
  double coeff = 2 * std::cos(2 * M_PI * frequency / rate), s1 = 0, s2 = 0, total = 0;
  for (int16_t x : pcm) {
    double s0 = x + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
    total += static_cast<double>(x) * x;
  }
  double tone = s1 * s1 + s2 * s2 - coeff * s1 * s2;
  return total == 0 ? 0 : 2 * tone / (pcm.size() * total);
}

std::vector<int16_t> Samples(const std::string& wav) {
  std::vector<int16_t> out;
  size_t data = wav.find("data");
  if (data == std::string::npos) return out;
  for (size_t at = data + 8; at + 1 < wav.size(); at += 2) out.push_back(static_cast<int16_t>(ReadLe(wav, at, 2)));
  return out;
}

class CRecWaveInCompressedTest : public CRecWaveInTest {
 protected:
  void SetUp() override {
    CRecWaveInTest::SetUp();
    m_tone.signal = VirtualSignal::Sine;
    m_tone.frequency = 440;
    m_tone.amplitude = 0.5;
    // Real time, as a sound card delivers: at a faster pace a busy machine
    // lets the device lose sound for want of a buffer, and a lost stretch
    // breaks the tone's phase that the checks below measure.
    m_tone.pace = 1.0;
    Program(m_tone);
  }
  // Records two seconds of the tone; the number of frames captured.
  uint64_t RecordTone(RefPtr<AudioEncoder> encoder, const std::wstring& path) {
    RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
    EXPECT_TRUE(master->Setup(0, path, encoder));
    EXPECT_TRUE(master->Start());
    EXPECT_TRUE(master->WaitForState(M::Running, 5000, 1));
    EXPECT_TRUE(WaitUntil([&] { return master->GetPosition() >= 2000 || !master->IsState(M::Running); }));
    master->Close();
    EXPECT_EQ(master->GetStopReason(), StopReason::ByOwner);
    VirtualDeviceStats stats = Backend().Stats(WaveDirection::Input, 0);
    m_lost = "frames the device lost for want of a buffer: " + std::to_string(stats.lostFrames);
    return stats.frames;
  }
  bool Shell(const TempFolder& folder, const std::string& command) {
    return std::system(("cd '" + folder.Path() + "' && " + command).c_str()) == 0;
  }

  VirtualWaveDevice m_tone;
  std::string m_lost;  // of the last recording, for the failure messages
};

TEST_F(CRecWaveInCompressedTest, VorbisRecordingDecodesToTheRecordedSineSampleBySample) {
  TempFolder folder;
  RefPtr<VorbisEncoder> vorbis = Create<VorbisEncoder>();
  vorbis->SetFormat(1, 44100, 16);
  vorbis->SetQuality(0.3f);
  uint64_t frames = RecordTone(vorbis, folder.WFile(L"tone.ogg"));
  SCOPED_TRACE(m_lost);
  ASSERT_TRUE(Shell(folder, "oggdec -Q -o vorbis.wav tone.ogg"));
  // Vorbis keeps the samples' positions: the decode matches the recorded
  // sine within the codec's noise.
  std::vector<int16_t> decoded = Samples(ReadBytes(folder.File("vorbis.wav")));
  ASSERT_EQ(decoded.size(), frames);
  std::string original = VirtualSignalBytes(m_tone, DeviceFormat(44100, 1, 16), 0, static_cast<uint32_t>(frames));
  double signal = 0, noise = 0;
  for (size_t i = 0; i < decoded.size(); ++i) {
    double x = static_cast<int16_t>(ReadLe(original, 2 * i, 2));
    signal += x * x;
    noise += (decoded[i] - x) * (decoded[i] - x);
  }
  EXPECT_GT(10 * std::log10(signal / noise), 20.0) << "signal-to-noise ratio in dB";
}

TEST_F(CRecWaveInCompressedTest, SpeexRecordingDecodesToTheRecordedToneAtItsLevelAndLength) {
  TempFolder folder;
  RefPtr<SpeexEncoder> speex = Create<SpeexEncoder>();
  speex->SetFormat(1, 32000, 16);
  SpeexSettings settings;
  settings.quality = 10;
  settings.complexity = 4;
  speex->SetSpeexSettings(settings);
  uint64_t frames = RecordTone(speex, folder.WFile(L"tone.spx"));
  SCOPED_TRACE(m_lost);
  ASSERT_TRUE(Shell(folder, "speexdec tone.spx speex.wav 2>/dev/null"));
  // Speex is a speech coder: the tone and its level survive, not the exact
  // waveform. Its length is the recording's, to within one 20 ms frame.
  std::vector<int16_t> decoded = Samples(ReadBytes(folder.File("speex.wav")));
  EXPECT_NEAR(static_cast<double>(decoded.size()), static_cast<double>(frames), 640);
  ASSERT_GT(decoded.size(), 32000u);
  std::vector<int16_t> middle(decoded.begin() + decoded.size() / 4, decoded.begin() + decoded.size() * 3 / 4);
  EXPECT_GT(ToneShare(middle, 32000, 440), 0.8);
  double power = 0;
  for (int16_t x : middle) power += static_cast<double>(x) * x;
  double rms = std::sqrt(power / middle.size()), expected = 0.5 * 32767 / std::sqrt(2.0);
  EXPECT_NEAR(20 * std::log10(rms / expected), 0.0, 3.0) << "level in dB against the recorded tone";
}

}  // namespace
}  // namespace talvinor
