#include <gtest/gtest.h>

#include <functional>

#include "core/EventObject.h"
#include "audio/MessageQueue.h"
#include "codec/OggTestSupport.h"
#include "codec/SpeexEncoder.h"
#include "codec/SpeexFileSource.h"
#include "codec/VorbisEncoder.h"
#include "codec/VorbisFileSource.h"
#include "codec/WaveFileSource.h"
#include "platform/Clock.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using namespace testing;

// Plays the part of the playback master for one source: serves its reads
// from the file's bytes, keeps the PCM it sends and hands the buffers back,
// and asks for its position and length while it plays, as the player does.
class PlaybackHarness {
 public:
  PlaybackHarness(RefPtr<AudioSource> source, std::string file) : m_source(std::move(source)), m_file(std::move(file)) {}
  ~PlaybackHarness() {
    m_source->Stop(3000);
    m_inbox->Clear();
  }

  bool Open() {
    if (!m_source->Open(m_inbox, static_cast<uint32_t>(m_file.size()))) return false;
    for (uint32_t i = 0; i < m_source->GetBufferCount(); ++i) {
      RefPtr<AudioBuffer> buffer = Create<AudioBuffer>();
      buffer->Reserve(m_source->GetBufferSize());
      m_source->PushBuffer(buffer);
    }
    return true;
  }

  // Handles messages until `done` holds (true) or `timeoutMs` passes.
  bool PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs = 10000) {
    uint32_t start = GetTickCount();
    while (!done()) {
      if (TicksSince(start, GetTickCount()) > timeoutMs) return false;
      m_event->Reset();
      RefPtr<GraphMessage> message = m_inbox->Pop();
      if (!message) {
        m_event->Wait(5);
        continue;
      }
      Handle(message.Get());
      // Asked from this thread while the source decodes on its own.
      uint32_t position = m_source->GetPosition();
      uint32_t length = m_source->GetLength();
      if (length != 0) maxPositionPastLength = std::max<int64_t>(maxPositionPastLength, int64_t{position} - length);
    }
    return true;
  }
  // Handles what is waiting without waiting for more.
  void HandlePending() {
    while (RefPtr<GraphMessage> message = m_inbox->Pop()) Handle(message.Get());
  }

  PcmData pcm;  // what arrived since the last device reset
  bool formatReady = false;
  bool ended = false;
  int deviceResets = 0;
  uint32_t abortCode = 0;
  int64_t maxPositionPastLength = INT64_MIN;

 private:
  void Handle(GraphMessage* message) {
    switch (message->Kind()) {
      case MessageKind::ReadBlock: {
        RefPtr<AudioBuffer> buffer = message->Buffer();
        uint32_t offset = message->First();
        uint32_t count = message->Second() ? message->Second() : buffer->Capacity();
        uint8_t* storage = buffer->Storage();
        uint32_t n = offset >= m_file.size() ? 0 : std::min<uint32_t>(count, m_file.size() - offset);
        if (n) std::memcpy(storage, m_file.data() + offset, n);
        buffer->SetValid(storage, n);
        m_source->QueueInput(buffer);
        break;
      }
      case MessageKind::PcmData: {
        RefPtr<AudioBuffer> buffer = message->Buffer();
        const int16_t* samples = reinterpret_cast<const int16_t*>(buffer->Data());
        if (samples) pcm.samples.insert(pcm.samples.end(), samples, samples + buffer->Length() / 2);
        m_source->PushBuffer(buffer);
        break;
      }
      case MessageKind::FormatReady: {
        WaveFormat format;
        m_source->GetFormat(&format);
        pcm.channels = format.channels;
        pcm.rate = format.samplesPerSec;
        formatReady = true;
        break;
      }
      case MessageKind::DeviceResetRequest:
        // Whatever was queued for the device is dropped.
        pcm.samples.clear();
        ++deviceResets;
        break;
      case MessageKind::EndOfStream:
        ended = true;
        break;
      case MessageKind::Abort:
        abortCode = message->First();
        break;
      default:
        break;
    }
  }

  RefPtr<EventObject> m_event = Create<EventObject>();
  RefPtr<MessageQueue> m_inbox = Create<MessageQueue>(m_event);
  RefPtr<AudioSource> m_source;
  std::string m_file;
};

// Plays `file` for a while, pauses, seeks to `seekMs` and plays to the end.
// What played after the seek goes to `*after`.
void PauseSeekAndResume(RefPtr<AudioSource> source, const std::string& file, uint32_t seekMs, PcmData* after) {
  PlaybackHarness harness(source, file);
  ASSERT_TRUE(harness.Open());
  ASSERT_TRUE(harness.PumpUntil([&] { return harness.pcm.samples.size() > 20000; }));
  ASSERT_TRUE(source->RequestPause());
  ASSERT_TRUE(harness.PumpUntil([&] { return source->GetState() == ComponentState::Paused; }));
  source->SetSeekTarget(seekMs);
  ASSERT_TRUE(source->RequestResume());
  ASSERT_TRUE(harness.PumpUntil([&] { return harness.ended; }));
  EXPECT_EQ(harness.abortCode, 0u);
  EXPECT_EQ(harness.deviceResets, 1);
  EXPECT_EQ(source->GetBasePosition(), seekMs);
  EXPECT_EQ(source->GetSeekTarget(), AudioSource::kNoSeek);
  EXPECT_LE(harness.maxPositionPastLength, 0);
  *after = harness.pcm;
}

TEST(OggPlaybackTest, AVorbisSeekWhilePausedResumesOnTheTargetSample) {
  TempFolder folder;
  std::string ogg = folder.File("speech.ogg");
  ASSERT_EQ(EncodeFile(SpeechWav(22050, 2, 4.0), ogg, Create<VorbisEncoder>()).reason, 2u);
  Decoded whole = DecodeFile(ogg, folder.Path());
  for (uint32_t ms : {500u, 3000u}) {
    SCOPED_TRACE(ms);
    PcmData after;
    PauseSeekAndResume(Create<VorbisFileSource>(), ReadFile(ogg), ms, &after);
    size_t from = size_t{ms} * 22050 / 1000 * 2;
    std::vector<int16_t> expected(whole.pcm.samples.begin() + static_cast<long>(from), whole.pcm.samples.end());
    EXPECT_TRUE(after.samples == expected) << after.samples.size() << " vs " << expected.size();
  }
}

TEST(OggPlaybackTest, ASpeexSeekWhilePausedResumesWithinAFrameOfTheTarget) {
  TempFolder folder;
  std::string spx = folder.File("speech.spx");
  ASSERT_EQ(EncodeFile(SpeechWav(32000, 1, 12.0), spx, Create<SpeexEncoder>()).reason, 2u);
  Decoded whole = DecodeFile(spx, folder.Path());
  const int frameSize = 640;
  for (uint32_t ms : {1000u, 10000u}) {
    SCOPED_TRACE(ms);
    PcmData after;
    PauseSeekAndResume(Create<SpeexFileSource>(), ReadFile(spx), ms, &after);
    ASSERT_GT(after.Frames(), 10000u);
    // Where in the whole decode the resumed output fits best.
    const int64_t target = int64_t{ms} * 32 - 4 * frameSize;
    PcmData rest{1, 32000, std::vector<int16_t>(whole.pcm.samples.begin() + target, whole.pcm.samples.end())};
    int lag = 0;
    EXPECT_GT(AlignedSnr(after, rest, 6 * frameSize, &lag), 15.0);
    // The resumed output starts at the target plus the codec's delay
    // (under one frame here).
    EXPECT_GE(lag, 4 * frameSize);
    EXPECT_LE(lag, 6 * frameSize);
  }
}

TEST(OggPlaybackTest, SourcesStoppedInTheMiddleOfAFileEndTheirRunAtOnce) {
  TempFolder folder;
  std::string ogg = folder.File("speech.ogg");
  std::string spx = folder.File("speech.spx");
  ASSERT_EQ(EncodeFile(SpeechWav(16000, 1, 3.0), ogg, Create<VorbisEncoder>()).reason, 2u);
  ASSERT_EQ(EncodeFile(SpeechWav(16000, 1, 3.0), spx, Create<SpeexEncoder>()).reason, 2u);
  for (RefPtr<AudioSource> source : {RefPtr<AudioSource>(Create<VorbisFileSource>()),
                                     RefPtr<AudioSource>(Create<SpeexFileSource>())}) {
    PlaybackHarness harness(source, ReadFile(source->IsKindOf(VorbisFileSource::kTypeCode) ? ogg : spx));
    ASSERT_TRUE(harness.Open());
    ASSERT_TRUE(harness.PumpUntil([&] { return harness.pcm.samples.size() > 4000; }));
    EXPECT_GT(source->GetPosition(), 0u);
    EXPECT_NEAR(source->GetLength(), 3000.0, 60.0);
    // Nobody serves its reads any more: the stop must not wait for them.
    EXPECT_TRUE(source->Stop(3000));
    EXPECT_EQ(source->GetState(), ComponentState::Idle);
  }
}

// A seek past the end, asked before a source opens and while it is paused:
// the base position plus what the device then plays is the stream's length,
// whether the source moved to its end or could not move at all, so the
// player's position is where the stream really is.
TEST(OggPlaybackTest, ASeekPastTheEndLeavesTheBasePositionWhereEachSourceReallyStands) {
  TempFolder folder;
  const std::string wav = SpeechWav(16000, 1, 6.0);
  const std::string ogg = folder.File("speech.ogg");
  const std::string spx = folder.File("speech.spx");
  ASSERT_EQ(EncodeFile(wav, ogg, Create<VorbisEncoder>()).reason, 2u);
  ASSERT_EQ(EncodeFile(wav, spx, Create<SpeexEncoder>()).reason, 2u);
  struct Case {
    const char* name;
    std::string file;
    std::function<RefPtr<AudioSource>()> make;
  };
  const Case cases[] = {
      {"wav", ReadFile(wav), [] { return RefPtr<AudioSource>(Create<WaveFileSource>()); }},
      {"vorbis", ReadFile(ogg), [] { return RefPtr<AudioSource>(Create<VorbisFileSource>()); }},
      {"speex", ReadFile(spx), [] { return RefPtr<AudioSource>(Create<SpeexFileSource>()); }},
  };
  const uint32_t pastTheEnd = 60000;
  auto position = [](AudioSource* source, const PcmData& played) {
    return source->GetBasePosition() + (played.rate ? played.Frames() * 1000.0 / played.rate : 0.0);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      RefPtr<AudioSource> source = c.make();
      PlaybackHarness harness(source, c.file);
      source->SetSeekTarget(pastTheEnd);
      ASSERT_TRUE(harness.Open());
      ASSERT_TRUE(harness.PumpUntil([&] { return harness.ended; }));
      EXPECT_EQ(harness.abortCode, 0u);
      EXPECT_EQ(source->GetSeekTarget(), AudioSource::kNoSeek);
      ASSERT_NEAR(source->GetLength(), 6000.0, 60.0);
      EXPECT_NEAR(position(source.Get(), harness.pcm), source->GetLength(), 2.0) << "at the start";
    }
    {
      RefPtr<AudioSource> source = c.make();
      PlaybackHarness harness(source, c.file);
      ASSERT_TRUE(harness.Open());
      ASSERT_TRUE(harness.PumpUntil([&] { return harness.pcm.samples.size() > 20000; }));
      ASSERT_TRUE(source->RequestPause());
      ASSERT_TRUE(harness.PumpUntil([&] { return source->GetState() == ComponentState::Paused; }));
      // A paused source sends nothing more: what it sent before is all there.
      harness.HandlePending();
      harness.ended = false;
      source->SetSeekTarget(pastTheEnd);
      ASSERT_TRUE(source->RequestResume());
      ASSERT_TRUE(harness.PumpUntil([&] { return harness.ended; }));
      EXPECT_EQ(harness.abortCode, 0u);
      EXPECT_EQ(source->GetSeekTarget(), AudioSource::kNoSeek);
      EXPECT_NEAR(position(source.Get(), harness.pcm), source->GetLength(), 2.0) << "after a pause";
    }
  }
}

}  // namespace
}  // namespace talvinor
