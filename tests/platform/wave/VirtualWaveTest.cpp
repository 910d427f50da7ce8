#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveAudio.h"
#include "platform/wave/WaveEvents.h"

namespace talvinor {
namespace {

using testing::Eventually;
using testing::TestHeader;
using testing::WaveEvents;

constexpr uint32_t kHdr = sizeof(WAVEHDR);

class VirtualWave : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveBackend(WaveBackendKind::Virtual);
    Backend().ResetToDefaults();
  }
  void TearDown() override { Backend().ResetToDefaults(); }

  static VirtualWaveBackend& Backend() { return VirtualWaveBackend::Instance(); }

  // One input device with the given pace and signal.
  static VirtualWaveDevice Input(double pace, VirtualSignal signal = VirtualSignal::Counter) {
    VirtualWaveDevice d;
    d.name = L"mic";
    d.pace = pace;
    d.signal = signal;
    return d;
  }
  static std::vector<char> Signal(const WAVEFORMATEX& f, uint64_t first, uint32_t frames,
                                  VirtualSignal signal = VirtualSignal::Counter) {
    std::vector<char> out(static_cast<size_t>(frames) * f.nBlockAlign);
    VirtualWaveDevice d;
    d.signal = signal;
    VirtualWaveBackend::GenerateSignal(d, f, first, frames, out.data());
    return out;
  }
  static uint32_t InputBytes(HWAVEIN h) {
    MMTIME t{};
    t.wType = TIME_BYTES;
    EXPECT_EQ(waveInGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
    return t.u.cb;
  }
  static uint32_t OutputBytes(HWAVEOUT h) {
    MMTIME t{};
    t.wType = TIME_BYTES;
    EXPECT_EQ(waveOutGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
    return t.u.cb;
  }
};

TEST_F(VirtualWave, DeviceTableGivesCountsNamesMasksAndOpenResults) {
  VirtualWaveDevice plain;
  plain.name = L"内蔵マイク";
  plain.formats = WAVE_FORMAT_1M08 | WAVE_FORMAT_4M16;
  plain.acceptsNonStandard = false;
  VirtualWaveDevice busy;
  busy.name = L"busy";
  busy.openResult = MMSYSERR_ALLOCATED;
  Backend().SetDevices(WaveDirection::Input, {plain, busy});
  Backend().SetDevices(WaveDirection::Output, {});

  ASSERT_EQ(waveInGetNumDevs(), 2u);
  EXPECT_EQ(waveOutGetNumDevs(), 0u);
  WAVEINCAPS caps;
  ASSERT_EQ(waveInGetDevCaps(0, &caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.szPname, L"内蔵マイク");
  EXPECT_EQ(caps.dwFormats, 0x401u);
  EXPECT_EQ(caps.wChannels, 1);
  EXPECT_EQ(waveInGetDevCaps(2, &caps), MMSYSERR_BADDEVICEID);
  WAVEOUTCAPS outCaps;
  EXPECT_EQ(waveOutGetDevCaps(0, &outCaps), MMSYSERR_BADDEVICEID);

  HWAVEIN h = nullptr;
  WAVEFORMATEX cd = PcmWaveFormatEx(1, 44100, 16);
  WAVEFORMATEX stereo = PcmWaveFormatEx(2, 44100, 16);
  WAVEFORMATEX wide = PcmWaveFormatEx(1, 16000, 16);
  EXPECT_EQ(waveInOpen(nullptr, 0, &cd, nullptr, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInOpen(nullptr, 0, &stereo, nullptr, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  EXPECT_EQ(waveInOpen(nullptr, 0, &wide, nullptr, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  EXPECT_EQ(waveInOpen(&h, 1, &cd, nullptr, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(waveInOpen(&h, 2, &cd, nullptr, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(h, nullptr);

  // Formats no device could play are refused before any device sees them.
  WAVEFORMATEX skewed = cd;
  skewed.nBlockAlign = 4;
  WAVEFORMATEX compressed = cd;
  compressed.wFormatTag = 2;
  EXPECT_EQ(waveInOpen(&h, 0, &skewed, nullptr, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
  EXPECT_EQ(waveInOpen(&h, 0, &compressed, nullptr, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
  EXPECT_EQ(waveInOpen(&h, 0, &cd, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInOpen(&h, 0, &cd, nullptr, 0, 0x10000), MMSYSERR_INVALFLAG);
  EXPECT_EQ(Backend().Stats(WaveDirection::Input, 0).opens, 0u);

  // WAVE_MAPPER is the default device.
  ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, &cd, nullptr, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  EXPECT_EQ(Backend().Stats(WaveDirection::Input, 0).opens, 1u);
}

TEST_F(VirtualWave, StandardFormatBitsFollowRateChannelsAndBits) {
  EXPECT_EQ(StandardFormatBit(PcmWaveFormatEx(1, 11025, 8)), WAVE_FORMAT_1M08);
  EXPECT_EQ(StandardFormatBit(PcmWaveFormatEx(2, 11025, 16)), WAVE_FORMAT_1S16);
  EXPECT_EQ(StandardFormatBit(PcmWaveFormatEx(2, 22050, 8)), WAVE_FORMAT_2S08);
  EXPECT_EQ(StandardFormatBit(PcmWaveFormatEx(1, 44100, 16)), WAVE_FORMAT_4M16);
  EXPECT_EQ(StandardFormatBit(PcmWaveFormatEx(2, 44100, 16)), WAVE_FORMAT_4S16);
  EXPECT_EQ(StandardFormatBit(PcmWaveFormatEx(1, 8000, 16)), 0u);
  EXPECT_EQ(StandardFormatBit(PcmWaveFormatEx(1, 44100, 24)), 0u);
  WAVEFORMATEX f = PcmWaveFormatEx(2, 22050, 16);
  EXPECT_EQ(f.nBlockAlign, 4);
  EXPECT_EQ(f.nAvgBytesPerSec, 88200u);
}

TEST_F(VirtualWave, InputFillsQueuedHeadersInOrderWithTheSignalFromTheDeviceThread) {
  Backend().SetDevices(WaveDirection::Input, {Input(0)});
  WaveEvents events;
  HWAVEIN h = nullptr;
  WAVEFORMATEX f = PcmWaveFormatEx(2, 22050, 16);
  ASSERT_EQ(waveInOpen(&h, 0, &f, &WaveEvents::InProc, events.Instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  // 1001 bytes holds 250 whole frames; the odd byte is never filled.
  TestHeader a(4000), b(1001), c(4000);
  for (TestHeader* t : {&a, &b, &c}) {
    ASSERT_EQ(waveInPrepareHeader(h, &t->header, kHdr), MMSYSERR_NOERROR);
    EXPECT_EQ(t->header.dwFlags, WHDR_PREPARED);
    ASSERT_EQ(waveInAddBuffer(h, &t->header, kHdr), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(waveInAddBuffer(h, &a.header, kHdr), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveInUnprepareHeader(h, &a.header, kHdr), WAVERR_STILLPLAYING);
  EXPECT_EQ(events.Count(WIM_DATA), 0u);  // nothing before the start
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(events.WaitFor(WIM_DATA, 3));

  std::vector<WAVEHDR*> order = events.Headers(WIM_DATA);
  EXPECT_EQ(order, (std::vector<WAVEHDR*>{&a.header, &b.header, &c.header}));
  EXPECT_EQ(b.header.dwBytesRecorded, 1000u);
  std::vector<char> expected = Signal(f, 0, 2250);
  std::vector<char> got(a.data.begin(), a.data.end());
  got.insert(got.end(), b.data.begin(), b.data.begin() + 1000);
  got.insert(got.end(), c.data.begin(), c.data.end());
  EXPECT_EQ(got, expected);
  for (TestHeader* t : {&a, &b, &c}) EXPECT_EQ(t->header.dwFlags, WHDR_PREPARED | WHDR_DONE);
  EXPECT_EQ(waveInAddBuffer(h, &a.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  for (TestHeader* t : {&a, &b, &c}) EXPECT_EQ(waveInUnprepareHeader(h, &t->header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInAddBuffer(h, &a.header, kHdr), WAVERR_UNPREPARED);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInStart(h), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInClose(h), MMSYSERR_INVALHANDLE);

  std::vector<WaveEvents::Event> all = events.All();
  ASSERT_GE(all.size(), 3u);
  EXPECT_EQ(all.front().message, WIM_OPEN);
  EXPECT_EQ(all.back().message, WIM_CLOSE);
  for (const auto& e : all) EXPECT_NE(e.thread, std::this_thread::get_id());
}

TEST_F(VirtualWave, StopReturnsThePartlyFilledHeaderAndKeepsEmptyOnesUntilReset) {
  // 8000 Hz mono 16-bit at real time: 16 bytes a millisecond.
  Backend().SetDevices(WaveDirection::Input, {Input(1.0)});
  WaveEvents events;
  HWAVEIN h = nullptr;
  WAVEFORMATEX f = PcmWaveFormatEx(1, 8000, 16);
  ASSERT_EQ(waveInOpen(&h, 0, &f, &WaveEvents::InProc, events.Instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  TestHeader first(800), second(16000), third(16000);
  for (TestHeader* t : {&first, &second, &third}) {
    ASSERT_EQ(waveInPrepareHeader(h, &t->header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(h, &t->header, kHdr), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(events.WaitFor(WIM_DATA, 1));
  ASSERT_TRUE(Eventually([&] { return InputBytes(h) >= 800 + 320; }));
  ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(events.WaitFor(WIM_DATA, 2));
  EXPECT_EQ(events.Headers(WIM_DATA)[1], &second.header);
  uint32_t partial = second.header.dwBytesRecorded;
  EXPECT_GE(partial, 320u);
  EXPECT_LT(partial, 16000u);
  EXPECT_EQ(third.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
  EXPECT_EQ(InputBytes(h), 800 + partial);  // a stopped device keeps its position

  // Stopping again has no partial header to give back.
  ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(h), WAVERR_STILLPLAYING);

  // A restart goes on with the next frame of the signal.
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(Eventually([&] { return InputBytes(h) >= 800 + partial + 160; }));
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  EXPECT_EQ(third.header.dwFlags, WHDR_PREPARED | WHDR_DONE);
  EXPECT_EQ(InputBytes(h), 0u);
  ASSERT_TRUE(events.WaitFor(WIM_DATA, 3));
  EXPECT_EQ(events.Count(WIM_DATA), 3u);
  uint32_t resumed = third.header.dwBytesRecorded;
  EXPECT_GE(resumed, 160u);

  std::vector<char> got(first.data.begin(), first.data.end());
  got.insert(got.end(), second.data.begin(), second.data.begin() + partial);
  got.insert(got.end(), third.data.begin(), third.data.begin() + resumed);
  EXPECT_EQ(got, Signal(f, 0, static_cast<uint32_t>(got.size() / 2)));
  EXPECT_EQ(Backend().Stats(WaveDirection::Input, 0).overruns, 0u);
  EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

TEST_F(VirtualWave, ResetReturnsEveryQueuedHeaderAtOnceEmptyOnesWithNoBytes) {
  Backend().SetDevices(WaveDirection::Input, {Input(1.0)});
  WaveEvents events;
  HWAVEIN h = nullptr;
  WAVEFORMATEX f = PcmWaveFormatEx(1, 8000, 16);
  ASSERT_EQ(waveInOpen(&h, 0, &f, &WaveEvents::InProc, events.Instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  TestHeader a(16000), b(16000), c(16000);
  for (TestHeader* t : {&a, &b, &c}) {
    ASSERT_EQ(waveInPrepareHeader(h, &t->header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(h, &t->header, kHdr), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(Eventually([&] { return InputBytes(h) >= 160; }));
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  // Done on return, before the callbacks have necessarily come.
  for (TestHeader* t : {&a, &b, &c}) EXPECT_EQ(t->header.dwFlags, WHDR_PREPARED | WHDR_DONE);
  EXPECT_GT(a.header.dwBytesRecorded, 0u);
  EXPECT_EQ(b.header.dwBytesRecorded, 0u);
  EXPECT_EQ(c.header.dwBytesRecorded, 0u);
  ASSERT_TRUE(events.WaitFor(WIM_DATA, 3));
  EXPECT_EQ(events.Headers(WIM_DATA), (std::vector<WAVEHDR*>{&a.header, &b.header, &c.header}));
  EXPECT_EQ(InputBytes(h), 0u);
  // Reset also stopped the device: a header added now stays empty.
  ASSERT_EQ(waveInAddBuffer(h, &a.header, kHdr), MMSYSERR_NOERROR);
  EXPECT_EQ(InputBytes(h), 0u);
  EXPECT_EQ(waveInClose(h), WAVERR_STILLPLAYING);
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  EXPECT_EQ(events.Count(WIM_DATA), 4u);
  EXPECT_EQ(events.All().back().message, WIM_CLOSE);
}

TEST_F(VirtualWave, PositionIsAnsweredInTheUnitAskedOrInBytes) {
  Backend().SetDevices(WaveDirection::Input, {Input(0)});
  WaveEvents events;
  HWAVEIN h = nullptr;
  WAVEFORMATEX f = PcmWaveFormatEx(2, 11025, 16);
  ASSERT_EQ(waveInOpen(&h, 0, &f, &WaveEvents::InProc, events.Instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  TestHeader a(44100);  // exactly one second
  ASSERT_EQ(waveInPrepareHeader(h, &a.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInAddBuffer(h, &a.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(events.WaitFor(WIM_DATA, 1));
  ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);

  MMTIME t{};
  t.wType = TIME_SAMPLES;
  ASSERT_EQ(waveInGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.wType, TIME_SAMPLES);
  EXPECT_EQ(t.u.sample, 11025u);
  t.wType = TIME_MS;
  ASSERT_EQ(waveInGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.u.ms, 1000u);
  t.wType = TIME_SMPTE;
  ASSERT_EQ(waveInGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.wType, TIME_BYTES);
  EXPECT_EQ(t.u.cb, 44100u);
  EXPECT_EQ(waveInGetPosition(h, &t, 8), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInGetPosition(nullptr, &t, sizeof t), MMSYSERR_INVALHANDLE);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

TEST_F(VirtualWave, PacedInputWithoutHeadersLosesSoundAsAnOverrunAndSkipsIt) {
  VirtualWaveDevice mic = Input(1.0);
  mic.fifoMs = 50;
  Backend().SetDevices(WaveDirection::Input, {mic});
  WaveEvents events;
  HWAVEIN h = nullptr;
  WAVEFORMATEX f = PcmWaveFormatEx(1, 8000, 16);
  ASSERT_EQ(waveInOpen(&h, 0, &f, &WaveEvents::InProc, events.Instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  // Capture runs with nowhere to put the sound for longer than the FIFO holds.
  ASSERT_TRUE(Eventually([&] {
    InputBytes(h);  // the position brings the device up to date
    return Backend().Stats(WaveDirection::Input, 0).overruns > 0;
  }));
  TestHeader a(1600);
  ASSERT_EQ(waveInPrepareHeader(h, &a.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInAddBuffer(h, &a.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_TRUE(events.WaitFor(WIM_DATA, 1));
  VirtualDeviceStats stats = Backend().Stats(WaveDirection::Input, 0);
  EXPECT_GE(stats.overruns, 1u);
  EXPECT_GT(stats.lostFrames, 0u);
  // The header starts with the oldest frame the FIFO still held.
  EXPECT_EQ(std::vector<char>(a.data.begin(), a.data.end()), Signal(f, stats.lostFrames, 800));
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

TEST_F(VirtualWave, OutputPlaysWrittenHeadersExactlyAndReturnsThemInOrder) {
  VirtualWaveDevice speaker;
  speaker.pace = 0;
  Backend().SetDevices(WaveDirection::Output, {speaker});
  WaveEvents events;
  HWAVEOUT h = nullptr;
  WAVEFORMATEX f = PcmWaveFormatEx(2, 44100, 16);
  ASSERT_EQ(waveOutOpen(&h, 0, &f, &WaveEvents::OutProc, events.Instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  TestHeader a(4000), empty(0), odd(1002);
  for (size_t i = 0; i < a.data.size(); ++i) a.data[i] = static_cast<char>(i * 7);
  for (size_t i = 0; i < odd.data.size(); ++i) odd.data[i] = static_cast<char>(i * 3 + 1);
  EXPECT_EQ(waveOutWrite(h, &a.header, kHdr), WAVERR_UNPREPARED);
  for (TestHeader* t : {&a, &empty, &odd}) {
    ASSERT_EQ(waveOutPrepareHeader(h, &t->header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(h, &t->header, kHdr), MMSYSERR_NOERROR);
  }
  ASSERT_TRUE(events.WaitFor(WOM_DONE, 3));
  EXPECT_EQ(events.Headers(WOM_DONE), (std::vector<WAVEHDR*>{&a.header, &empty.header, &odd.header}));
  // The last two bytes of `odd` are half a frame and are not played.
  std::vector<uint8_t> expected(a.data.begin(), a.data.end());
  expected.insert(expected.end(), odd.data.begin(), odd.data.begin() + 1000);
  EXPECT_EQ(Backend().Played(0), expected);
  EXPECT_EQ(OutputBytes(h), 5000u);
  for (TestHeader* t : {&a, &empty, &odd}) {
    EXPECT_EQ(t->header.dwFlags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(waveOutUnprepareHeader(h, &t->header, kHdr), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
  std::vector<WaveEvents::Event> all = events.All();
  EXPECT_EQ(all.front().message, WOM_OPEN);
  EXPECT_EQ(all.back().message, WOM_CLOSE);
  for (const auto& e : all) EXPECT_NE(e.thread, std::this_thread::get_id());
}

TEST_F(VirtualWave, PausedOutputKeepsItsHeadersAndPlaysOnWithoutGapOrRepeat) {
  VirtualWaveDevice speaker;
  speaker.pace = 1.0;
  speaker.fifoMs = 40;
  Backend().SetDevices(WaveDirection::Output, {speaker});
  WaveEvents events;
  HWAVEOUT h = nullptr;
  WAVEFORMATEX f = PcmWaveFormatEx(1, 8000, 16);
  ASSERT_EQ(waveOutOpen(&h, 0, &f, &WaveEvents::OutProc, events.Instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  // Three 100 ms headers of a counting signal.
  std::vector<char> sound = Signal(f, 0, 2400);
  TestHeader parts[3]{TestHeader(1600), TestHeader(1600), TestHeader(1600)};
  for (int i = 0; i < 3; ++i) {
    std::memcpy(parts[i].data.data(), sound.data() + i * 1600, 1600);
    ASSERT_EQ(waveOutPrepareHeader(h, &parts[i].header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(h, &parts[i].header, kHdr), MMSYSERR_NOERROR);
  }
  ASSERT_TRUE(Eventually([&] { return OutputBytes(h) >= 1600 + 320; }));
  ASSERT_EQ(waveOutPause(h), MMSYSERR_NOERROR);
  uint32_t pausedAt = OutputBytes(h);
  EXPECT_GE(pausedAt, 1920u);
  EXPECT_LT(pausedAt, 4800u);
  EXPECT_EQ(parts[2].header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
  EXPECT_EQ(Backend().Played(0).size(), pausedAt);
  // Paused, nothing moves however long one waits.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(OutputBytes(h), pausedAt);
  EXPECT_EQ(Backend().Played(0).size(), pausedAt);
  EXPECT_EQ(waveOutClose(h), WAVERR_STILLPLAYING);

  ASSERT_EQ(waveOutRestart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(events.WaitFor(WOM_DONE, 3));
  std::vector<uint8_t> played = Backend().Played(0);
  EXPECT_EQ(played, std::vector<uint8_t>(sound.begin(), sound.end()));
  EXPECT_EQ(OutputBytes(h), 4800u);
  EXPECT_EQ(Backend().Stats(WaveDirection::Output, 0).underruns, 0u);
  ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

TEST_F(VirtualWave, OutputResetReturnsEverythingUnplayedAndAPausedDeviceStaysPaused) {
  VirtualWaveDevice speaker;
  speaker.pace = 1.0;
  Backend().SetDevices(WaveDirection::Output, {speaker});
  WaveEvents events;
  HWAVEOUT h = nullptr;
  WAVEFORMATEX f = PcmWaveFormatEx(1, 8000, 16);
  ASSERT_EQ(waveOutOpen(&h, 0, &f, &WaveEvents::OutProc, events.Instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  TestHeader a(16000), b(16000), c(320);
  for (TestHeader* t : {&a, &b, &c}) ASSERT_EQ(waveOutPrepareHeader(h, &t->header, kHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(h, &a.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(h, &b.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_TRUE(Eventually([&] { return OutputBytes(h) >= 160; }));
  ASSERT_EQ(waveOutPause(h), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
  EXPECT_EQ(a.header.dwFlags, WHDR_PREPARED | WHDR_DONE);
  EXPECT_EQ(b.header.dwFlags, WHDR_PREPARED | WHDR_DONE);
  EXPECT_EQ(OutputBytes(h), 0u);
  ASSERT_TRUE(events.WaitFor(WOM_DONE, 2));
  EXPECT_EQ(events.Headers(WOM_DONE), (std::vector<WAVEHDR*>{&a.header, &b.header}));
  size_t playedBefore = Backend().Played(0).size();
  EXPECT_LT(playedBefore, 16000u);

  ASSERT_EQ(waveOutWrite(h, &c.header, kHdr), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(c.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
  EXPECT_EQ(OutputBytes(h), 0u);
  ASSERT_EQ(waveOutRestart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(events.WaitFor(WOM_DONE, 3));
  EXPECT_EQ(OutputBytes(h), 320u);
  EXPECT_EQ(Backend().Played(0).size(), playedBefore + 320);
  ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

// A callback that tries to close its own device from the device thread.
struct CloseFromCallback {
  HWAVEOUT handle = nullptr;
  std::atomic<MMRESULT> result{0xFFFF};
  static void Proc(HWAVEOUT h, uint32_t message, uintptr_t instance, uintptr_t, uintptr_t) {
    auto* self = reinterpret_cast<CloseFromCallback*>(instance);
    if (message == WOM_DONE) self->result = waveOutClose(h);
  }
};

TEST_F(VirtualWave, ClosingFromACallbackIsRefusedInsteadOfDeadlocking) {
  VirtualWaveDevice speaker;
  speaker.pace = 0;
  Backend().SetDevices(WaveDirection::Output, {speaker});
  CloseFromCallback probe;
  HWAVEOUT h = nullptr;
  WAVEFORMATEX f = PcmWaveFormatEx(1, 8000, 16);
  ASSERT_EQ(waveOutOpen(&h, 0, &f, &CloseFromCallback::Proc, reinterpret_cast<uintptr_t>(&probe), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  TestHeader a(320);
  ASSERT_EQ(waveOutPrepareHeader(h, &a.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(h, &a.header, kHdr), MMSYSERR_NOERROR);
  ASSERT_TRUE(Eventually([&] { return probe.result.load() != 0xFFFF; }));
  EXPECT_EQ(probe.result.load(), MMSYSERR_HANDLEBUSY);
  EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

TEST_F(VirtualWave, RepeatedOpenStartResetCloseCyclesRaceNothing) {
  Backend().SetDevices(WaveDirection::Input, {Input(0)});
  WAVEFORMATEX f = PcmWaveFormatEx(1, 22050, 16);
  for (int cycle = 0; cycle < 200; ++cycle) {
    WaveEvents events;
    HWAVEIN h = nullptr;
    ASSERT_EQ(waveInOpen(&h, 0, &f, &WaveEvents::InProc, events.Instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    TestHeader a(2048), b(2048), c(2048);
    for (TestHeader* t : {&a, &b, &c}) {
      ASSERT_EQ(waveInPrepareHeader(h, &t->header, kHdr), MMSYSERR_NOERROR);
      ASSERT_EQ(waveInAddBuffer(h, &t->header, kHdr), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    if (cycle % 2) {
      ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
    // Every header came back exactly once, before the close callback.
    std::vector<WaveEvents::Event> all = events.All();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all.front().message, WIM_OPEN);
    EXPECT_EQ(all.back().message, WIM_CLOSE);
  }
}

}  // namespace
}  // namespace talvinor
