#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "audio/AudioComponent.h"
#include "audio/AudioEncoder.h"
#include "audio/AudioSource.h"
#include "audio/GraphTestSupport.h"
#include "audio/NullEncoder.h"
#include "audio/NullSource.h"

namespace talvinor {
namespace {

using testing::ProbeQueue;
using testing::WaitUntil;
using S = ComponentState;

// A component whose steps the test drives: set-up waits for the gate and
// fails with `setupCode`; each processing step echoes one inbox message to
// the peer; the finishing step records that it ran.
class ScriptedComponent : public AudioComponent {
 public:
  using AudioComponent::Inbox;
  StopReason SetupStep() override {
    setups.fetch_add(1);
    while (!gateOpen.load() && !IsStopRequested()) WaitForWakeUnless([this] { return gateOpen.load(); }, 1000);
    return StopReasonFromCode(setupCode.load());
  }
  void ProcessStep() override {
    if (RefPtr<GraphMessage> m = Inbox()->Pop()) {
      PostToPeer(m);
      return;
    }
    WaitForWake(1000);
  }
  bool FinishStep() override {
    finishes.fetch_add(1);
    sawAbortFlag.store(GetAbortFlag());
    return true;
  }
  void OpenGate() {
    gateOpen.store(true);
    Wake();
  }
  std::atomic<bool> gateOpen{true};
  std::atomic<uint32_t> setupCode{0};
  std::atomic<int> setups{0};
  std::atomic<int> finishes{0};
  std::atomic<bool> sawAbortFlag{false};
};

TEST(ComponentTest, StateTableAcceptsOnlyListedMoves) {
  RefPtr<ScriptedComponent> c = Create<ScriptedComponent>();
  struct Move {
    S to;
    bool accepted;
  };
  // Walk from Idle through a full run and back, trying refused moves on the way.
  const std::vector<Move> walk = {
      {S::Running, false}, {S::PauseRequested, false}, {S::Aborted, false}, {S::Started, true},
      {S::Idle, false},    {S::Paused, false},         {S::Running, true},  {S::Started, false},
      {S::Paused, false},  {S::ResumeRequested, false}, {S::PauseRequested, true}, {S::Running, false},
      {S::Paused, true},   {S::Running, false},        {S::ResumeRequested, true}, {S::Paused, false},
      {S::Running, true},  {S::Running, true},         {S::Aborted, true},  {S::Running, false},
      {S::Idle, false},    {S::Stopping, true},        {S::Aborted, false}, {S::Idle, true},
  };
  for (size_t i = 0; i < walk.size(); ++i) {
    S before = c->GetState();
    EXPECT_EQ(c->SetState(walk[i].to), walk[i].accepted) << "step " << i;
    EXPECT_EQ(c->GetState(), walk[i].accepted ? walk[i].to : before) << "step " << i;
  }
  EXPECT_TRUE(c->GetAbortFlag());
}

TEST(ComponentTest, RunGoesThroughSetupProcessingAndFinishing) {
  ProbeQueue peer;
  RefPtr<ScriptedComponent> c = Create<ScriptedComponent>();
  EXPECT_EQ(c->GetState(), S::Idle);
  ASSERT_TRUE(c->Connect(peer.queue));
  ASSERT_TRUE(WaitUntil([&] { return c->GetState() == S::Running; }));
  EXPECT_EQ(c->setups.load(), 1);
  // A message in the inbox is handled by a processing step.
  c->Inbox()->Post(MakeMessage<MessageKind::SourceInput>(nullptr, 42));
  RefPtr<GraphMessage> echoed = peer.Next();
  ASSERT_TRUE(echoed);
  EXPECT_EQ(echoed->First(), 42u);
  EXPECT_FALSE(c->Connect(peer.queue));  // refused while running
  EXPECT_TRUE(c->Close());
  EXPECT_EQ(c->finishes.load(), 1);
  EXPECT_EQ(c->GetState(), S::Idle);
  EXPECT_FALSE(c->IsRunning());
  // The same component runs again after a Close.
  ASSERT_TRUE(c->Connect(peer.queue));
  ASSERT_TRUE(WaitUntil([&] { return c->GetState() == S::Running; }));
  EXPECT_TRUE(c->Close());
  EXPECT_EQ(c->setups.load(), 2);
}

TEST(ComponentTest, AStopThatComesAfterARunHasEndedDoesNotEndTheNextRun) {
  ProbeQueue peer;
  RefPtr<ScriptedComponent> c = Create<ScriptedComponent>();
  ASSERT_TRUE(c->Connect(peer.queue));
  ASSERT_TRUE(WaitUntil([&] { return c->GetState() == S::Running; }));
  EXPECT_TRUE(c->Close());
  // A master that still saw the thread running stops it once more.
  c->Stop(0);
  ASSERT_TRUE(c->Connect(peer.queue));
  ASSERT_TRUE(WaitUntil([&] { return c->GetState() == S::Running; }));
  EXPECT_TRUE(c->IsRunning());
  c->Inbox()->Post(MakeMessage<MessageKind::SourceInput>(nullptr, 7));
  RefPtr<GraphMessage> echoed = peer.NextOf(MessageKind::SourceInput);
  ASSERT_TRUE(echoed);
  EXPECT_EQ(echoed->First(), 7u);
  EXPECT_TRUE(c->Close());
  EXPECT_EQ(c->setups.load(), 2);
}

TEST(ComponentTest, PauseIsRefusedUntilRunningThenPausesAndResumes) {
  ProbeQueue peer;
  RefPtr<ScriptedComponent> c = Create<ScriptedComponent>();
  EXPECT_FALSE(c->RequestPause());  // no thread
  c->gateOpen.store(false);
  ASSERT_TRUE(c->Connect(peer.queue));
  ASSERT_TRUE(WaitUntil([&] { return c->setups.load() == 1; }));
  EXPECT_EQ(c->GetState(), S::Started);
  EXPECT_FALSE(c->RequestPause());
  EXPECT_FALSE(c->RequestResume());
  c->OpenGate();
  ASSERT_TRUE(WaitUntil([&] { return c->GetState() == S::Running; }));
  EXPECT_FALSE(c->RequestResume());
  EXPECT_TRUE(c->RequestPause());
  ASSERT_TRUE(WaitUntil([&] { return c->GetState() == S::Paused; }));
  // While paused the inbox is not processed.
  c->Inbox()->Post(MakeMessage<MessageKind::SourceInput>(nullptr, 1));
  EXPECT_FALSE(peer.Next(50));
  EXPECT_TRUE(c->RequestResume());
  ASSERT_TRUE(peer.Next());
  EXPECT_EQ(c->GetState(), S::Running);
  EXPECT_TRUE(c->Close());
}

TEST(ComponentTest, FailedSetupAbortsReportsCodeAndIdlesUntilStopped) {
  ProbeQueue peer;
  RefPtr<ScriptedComponent> c = Create<ScriptedComponent>();
  c->setupCode.store(81);
  ASSERT_TRUE(c->Connect(peer.queue));
  RefPtr<GraphMessage> abort = peer.NextOf(MessageKind::Abort);
  ASSERT_TRUE(abort);
  EXPECT_EQ(abort->First(), 81u);
  ASSERT_TRUE(WaitUntil([&] { return c->GetState() == S::Aborted; }));
  EXPECT_TRUE(c->GetAbortFlag());
  EXPECT_TRUE(c->IsRunning());  // idles, does not end by itself
  EXPECT_FALSE(c->RequestPause());
  EXPECT_TRUE(c->Stop(5000));
  EXPECT_EQ(c->GetState(), S::Idle);
  EXPECT_TRUE(c->sawAbortFlag.load());
  // A new connection clears the abort flag.
  c->setupCode.store(0);
  ASSERT_TRUE(c->Connect(peer.queue));
  EXPECT_FALSE(c->GetAbortFlag());
  EXPECT_TRUE(c->Close());
}

TEST(ComponentTest, AbortOutsideRunOnlyReports) {
  ProbeQueue peer;
  RefPtr<ScriptedComponent> c = Create<ScriptedComponent>();
  c->Abort(StopReason::EncoderFailure);  // no peer: nothing to report to, state stays Idle
  EXPECT_EQ(c->GetState(), S::Idle);
  EXPECT_FALSE(c->GetAbortFlag());
  EXPECT_EQ(peer.queue->Count(), 0u);
}

TEST(ComponentTest, TagsKeepOrderAndRejectOutOfRangeIndexes) {
  RefPtr<NullEncoder> c = Create<NullEncoder>();
  c->AddTag(L"TITLE", L"会議");
  c->AddTag(L"", L"ARTIST=x");
  ASSERT_EQ(c->GetTagCount(), 2u);
  std::wstring name, value;
  EXPECT_TRUE(c->GetTagName(1, &name));
  EXPECT_TRUE(c->GetTagValue(0, &value));
  EXPECT_EQ(name, L"");
  EXPECT_EQ(value, L"会議");
  EXPECT_FALSE(c->GetTagName(2, &name));
  EXPECT_FALSE(c->GetTagValue(2, &value));
  c->ClearTags();
  EXPECT_EQ(c->GetTagCount(), 0u);
}

TEST(ComponentTest, ClassCodesAnswerForTheirFamilies) {
  RefPtr<NullSource> source = Create<NullSource>();
  RefPtr<NullEncoder> encoder = Create<NullEncoder>();
  EXPECT_EQ(source->GetTypeCode(), 0x20022u);
  for (uint32_t code : {0x1210u, 0x20011u, 0x20021u, 0x20022u}) EXPECT_TRUE(source->IsKindOf(code)) << code;
  EXPECT_FALSE(source->IsKindOf(0x20041));
  EXPECT_EQ(encoder->GetTypeCode(), 0x20042u);
  for (uint32_t code : {0x1210u, 0x20011u, 0x20041u, 0x20042u}) EXPECT_TRUE(encoder->IsKindOf(code)) << code;
  EXPECT_FALSE(encoder->IsKindOf(0x20021));
  EXPECT_TRUE(QueryAs<AudioEncoder>(encoder.Get()));
  EXPECT_FALSE(QueryAs<AudioSource>(encoder.Get()));
}

TEST(ComponentTest, EncoderFormatPoolAndRefusalsOutsideARun) {
  ProbeQueue peer;
  RefPtr<NullEncoder> encoder = Create<NullEncoder>();
  ASSERT_TRUE(encoder->SetFormat(2, 22050, 16));
  WaveFormat f;
  encoder->GetFormat(&f);
  EXPECT_EQ(f, PcmWaveFormat(2, 22050, 16));
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(f.avgBytesPerSec, 88200u);
  // Not running: QueueInput is refused and releases what it was given.
  RefPtr<AudioBuffer> buffer = Create<AudioBuffer>();
  int32_t before = GraphMessage::LiveCount();
  EXPECT_FALSE(encoder->QueueInput(buffer));
  EXPECT_EQ(GraphMessage::LiveCount(), before);
  EXPECT_EQ(buffer->ReferenceWord() & RefObject::kCountMask, 1u);
  // The pool hands out what was allocated or returned, in order.
  RefPtr<AudioBuffer> a = encoder->AllocateBuffer(100);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Capacity(), 8192u);
  EXPECT_TRUE(encoder->ReturnBuffer(buffer));
  EXPECT_EQ(encoder->GetFreeBufferCount(), 2u);
  EXPECT_EQ(encoder->TakeFreeBuffer(), a);
  EXPECT_EQ(encoder->TakeFreeBuffer(), buffer);
  EXPECT_FALSE(encoder->ReturnBuffer(nullptr));
}

TEST(ComponentTest, SourceOpenRefusesUnusableParametersAndNullBuffers) {
  ProbeQueue peer;
  RefPtr<NullSource> source = Create<NullSource>();
  EXPECT_FALSE(source->Open(peer.queue, 0));
  EXPECT_FALSE(source->Open(peer.queue, 0xFFFFFFFFu));
  EXPECT_FALSE(source->PushBuffer(nullptr));
  EXPECT_FALSE(source->QueueInput(Create<AudioBuffer>()));
  EXPECT_EQ(source->GetSeekTarget(), AudioSource::kNoSeek);
  EXPECT_TRUE(source->SetSeekTarget(1500));
  EXPECT_EQ(source->GetSeekTarget(), 1500u);
  EXPECT_TRUE(source->Open(peer.queue, 1234));
  EXPECT_EQ(source->GetOpenParameter(), 1234u);
  EXPECT_TRUE(source->Close());
}

TEST(ComponentTest, ReserveKeepsLargeEnoughStorageAndRoundsUp) {
  RefPtr<AudioBuffer> b = Create<AudioBuffer>();
  uint64_t allocations = AudioBuffer::StorageAllocations();
  uint8_t* first = b->Reserve(10);
  ASSERT_TRUE(first);
  EXPECT_EQ(b->Capacity(), 8192u);
  b->SetValid(first + 3, 5);
  EXPECT_EQ(b->Reserve(8192), first);  // kept, valid part cleared
  EXPECT_EQ(b->Data(), nullptr);
  EXPECT_EQ(b->Length(), 0u);
  EXPECT_EQ(AudioBuffer::StorageAllocations(), allocations + 1);
  ASSERT_TRUE(b->Reserve(8193));
  EXPECT_EQ(b->Capacity(), 12288u);
  ASSERT_TRUE(b->Reserve(12289));
  EXPECT_EQ(b->Capacity(), 16384u);
  EXPECT_EQ(AudioBuffer::StorageAllocations(), allocations + 3);
}

}  // namespace
}  // namespace talvinor
