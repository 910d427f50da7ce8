// Found by the WAV source fuzz target: a source that fills each PCM buffer
// to its capacity whatever the frame size ends every buffer but the last
// inside a frame with 3- or 6-byte frames (24-bit sound), and a device that
// plays whole frames of each buffer then drops the rest and shifts every
// later sample.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/AudioBuffer.h"
#include "audio/GraphMessage.h"
#include "audio/MessageQueue.h"
#include "codec/WaveFileSource.h"
#include "codec/WavBuilder.h"

namespace talvinor {
namespace {

using namespace testing;

// The PCM buffer lengths the source sends for `file`, answering its reads
// from memory as a master and its file worker would.
std::vector<uint32_t> PcmLengths(const std::string& file) {
  RefPtr<EventObject> event = Create<EventObject>();
  RefPtr<MessageQueue> inbox = Create<MessageQueue>(event);
  RefPtr<WaveFileSource> source = Create<WaveFileSource>();
  std::vector<uint32_t> lengths;
  if (!source->Open(inbox, static_cast<uint32_t>(file.size()))) return lengths;
  for (int i = 0; i < 4; ++i) {
    RefPtr<AudioBuffer> buffer = Create<AudioBuffer>();
    buffer->Reserve(4096);
    source->PushBuffer(buffer);
  }
  uint32_t position = 0;
  for (bool live = true; live;) {
    event->Reset();
    while (RefPtr<GraphMessage> message = inbox->Pop()) {
      if (message->Kind() == MessageKind::ReadBlock) {
        RefPtr<AudioBuffer> buffer = message->Buffer();
        const uint32_t offset = message->First() == kCurrentPosition ? position : message->First();
        const uint32_t count = message->Second() == 0 ? buffer->Capacity() : message->Second();
        const uint32_t done = offset < file.size() ? std::min<uint32_t>(count, file.size() - offset) : 0;
        std::memcpy(buffer->Storage(), file.data() + offset, done);
        buffer->SetValid(buffer->Storage(), done);
        position = offset + done;
        source->QueueInput(buffer);
      } else if (message->Kind() == MessageKind::PcmData) {
        lengths.push_back(message->Buffer()->Length());
        source->PushBuffer(message->Buffer());
      } else if (message->Kind() == MessageKind::EndOfStream || message->Kind() == MessageKind::Abort) {
        live = false;
      }
    }
    if (live && !event->Wait(5000)) break;
  }
  source->Stop(5000);
  source->Close();
  return lengths;
}

TEST(WaveSourceFrames, EveryPcmBufferHoldsWholeFramesAt24Bits) {
  for (uint16_t channels : {1, 2}) {
    SCOPED_TRACE(channels);
    const uint32_t frameBytes = 3u * channels;
    const std::vector<uint32_t> lengths = PcmLengths(SimpleWav(Pcm(frameBytes * 8000), channels, 8000, 24));
    ASSERT_GT(lengths.size(), 1u);
    uint32_t total = 0;
    for (uint32_t length : lengths) {
      EXPECT_EQ(length % frameBytes, 0u) << "a buffer of " << length << " bytes";
      total += length;
    }
    EXPECT_EQ(total, frameBytes * 8000) << "all the sound, once";
  }
}

}  // namespace
}  // namespace talvinor
