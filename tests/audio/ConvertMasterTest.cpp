#include "audio/ConvertMaster.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "audio/GraphTestSupport.h"
#include "audio/NullEncoder.h"
#include "audio/NullSource.h"
#include "platform/window/HeadlessMessageQueue.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using testing::TempFolder;
using testing::TraceCapture;
using testing::WaitUntil;

// A source that announces its format at once and then does what the test asks.
class ScriptedSource : public AudioSource {
 public:
  std::atomic<bool> formatAgain{false};
  std::atomic<bool> sendPcmAndEnd{false};

 protected:
  StopReason SetupStep() override {
    SetFormatLocked(PcmWaveFormat(1, 8000, 16));
    SendFormatReady();
    return StopReason::None;
  }
  void ProcessStep() override {
    if (formatAgain.exchange(false)) SendFormatReady();
    if (sendPcmAndEnd.exchange(false)) {
      RefPtr<AudioBuffer> b = TakeInputBuffer();
      b->SetValidLength(2);
      SendPcm(b);
      SendEndOfStream();
    }
    WaitForWake(20);
  }
};

// An encoder that never takes its input, so a drain waits for it.
class StuckEncoder : public AudioEncoder {
 protected:
  void ProcessStep() override { WaitForWake(1000); }
};

struct Fixture {
  TempFolder folder;
  HeadlessMessageQueue window;
  RefPtr<ConvertMaster> master = Create<ConvertMaster>();
  RefPtr<ScriptedSource> source = Create<ScriptedSource>();

  Fixture() {
    std::ofstream(folder.File("in.bin")) << "anything";
    master->SetNotify(window.Id(), kWmConvertNotify, 0);
  }
  bool Start(RefPtr<AudioEncoder> encoder) {
    return master->Setup(folder.WFile(L"in.bin"), source, folder.WFile(L"out.bin"), encoder) && master->Start();
  }
};

TEST(ConvertMasterTest, SetupIsRefusedWithoutPathsOrComponentsAndWhileRunning) {
  Fixture f;
  RefPtr<NullEncoder> encoder = Create<NullEncoder>();
  EXPECT_FALSE(f.master->Setup(L"", f.source, L"/tmp/x", encoder));
  EXPECT_FALSE(f.master->Setup(L"/tmp/a", nullptr, L"/tmp/x", encoder));
  EXPECT_FALSE(f.master->Setup(L"/tmp/a", f.source, L"/tmp/x", nullptr));
  EXPECT_FALSE(f.master->Setup(L"/tmp/a", f.source, L"", encoder));
  // Nothing was kept: the master still has its default components.
  EXPECT_TRUE(f.master->GetSource()->IsKindOf(NullSource::kTypeCode));
  EXPECT_FALSE(f.master->Close());
  ASSERT_TRUE(f.Start(Create<StuckEncoder>()));
  ASSERT_TRUE(f.master->WaitForState(MasterState::Running, 5000, 1));
  EXPECT_FALSE(f.master->Setup(L"/tmp/a", Create<NullSource>(), L"/tmp/x", encoder));
  EXPECT_EQ(f.master->GetSource(), RefPtr<AudioSource>(f.source));
  EXPECT_TRUE(f.master->Close());
  EXPECT_EQ(f.master->GetStopReason(), StopReason::ByOwner);
}

TEST(ConvertMasterTest, FormatReadyWhileRunningStopsWithReasonTen) {
  Fixture f;
  ASSERT_TRUE(f.Start(Create<StuckEncoder>()));
  ASSERT_TRUE(f.master->WaitForState(MasterState::Running, 5000, 1));
  WaveFormat format;
  f.master->GetFormat(&format);
  EXPECT_EQ(format, PcmWaveFormat(1, 8000, 16));
  f.source->formatAgain.store(true);
  f.source->Wake();
  ASSERT_TRUE(f.master->WaitForState(MasterState::Closed, 10000, 1));
  EXPECT_EQ(f.master->GetStopReason(), StopReason::BadState);
}

TEST(ConvertMasterTest, CloseWhileDrainingReplacesEndOfStreamWithReasonOne) {
  Fixture f;
  ASSERT_TRUE(f.Start(Create<StuckEncoder>()));
  ASSERT_TRUE(f.master->WaitForState(MasterState::Running, 5000, 1));
  f.source->sendPcmAndEnd.store(true);
  f.source->Wake();
  // The encoder never takes its input, so the drain cannot finish.
  ASSERT_TRUE(f.master->WaitForState(MasterState::Draining, 5000, 1));
  EXPECT_EQ(f.master->GetStopReason(), StopReason::EndOfStream);
  EXPECT_EQ(f.master->GetPosition(), 0u);
  f.master->Close();
  ASSERT_TRUE(f.master->WaitForState(MasterState::Closed, 10000, 1));
  EXPECT_EQ(f.master->GetStopReason(), StopReason::ByOwner);
  // Notices: Opening, Running, Draining, Stopping, Closed.
  std::vector<uint32_t> states;
  while (auto m = f.window.TakeMessage(kWmConvertNotify, 100)) states.push_back(m->wParam & 0xFFFF);
  EXPECT_EQ(states, (std::vector<uint32_t>{1, 2, 4, 3, 5}));
}

TEST(ConvertMasterTest, AnEmptyInputFileCannotOpenTheSourceAndStopsWithReasonTwenty) {
  Fixture f;
  // A source is never opened on a file of size 0.
  std::ofstream(f.folder.File("empty.bin"));
  ASSERT_TRUE(f.master->Setup(f.folder.WFile(L"empty.bin"), f.source, f.folder.WFile(L"out.bin"),
                              Create<NullEncoder>()));
  ASSERT_TRUE(f.master->Start());
  ASSERT_TRUE(f.master->WaitForState(MasterState::Closed, 10000, 1));
  EXPECT_EQ(f.master->GetStopReason(), StopReason::SetupFailure);
}

TEST(ConvertMasterTest, ARunClosedByAFailureRefusesAnyLaterStopAndKeepsItsReason) {
  Fixture f;
  TraceCapture trace;
  ASSERT_TRUE(f.master->Setup(f.folder.WFile(L"missing.bin"), f.source, f.folder.WFile(L"out.bin"),
                              Create<NullEncoder>()));
  ASSERT_TRUE(f.master->Start());
  ASSERT_TRUE(f.master->WaitForState(MasterState::Closed, 10000, 1));
  ASSERT_EQ(f.master->GetStopReason(), StopReason::FileOpen);
  EXPECT_TRUE(trace.Contains("Master::OnAbort - 0000001fh"));
  ASSERT_TRUE(WaitUntil([&] { return !f.master->IsRunning(); }));
  while (f.window.TakeMessage(kWmConvertNotify, 0)) {
  }
  for (StopReason late : {StopReason::ByOwner, StopReason::EndOfStream, StopReason::FileWrite}) {
    EXPECT_FALSE(f.master->StopWithReason(0, late));
    EXPECT_TRUE(f.master->IsState(MasterState::Closed));
    EXPECT_EQ(f.master->GetStopReason(), StopReason::FileOpen);
  }
  EXPECT_FALSE(f.master->Close());
  EXPECT_FALSE(f.window.TakeMessage(kWmConvertNotify, 20));
  // The next run starts as usual; a conversion cannot be paused.
  ASSERT_TRUE(f.Start(Create<StuckEncoder>()));
  ASSERT_TRUE(f.master->WaitForState(MasterState::Running, 5000, 1));
  EXPECT_EQ(f.master->GetStopReason(), StopReason::None);
  EXPECT_FALSE(f.master->Pause());
  EXPECT_TRUE(f.master->IsState(MasterState::Running));
  EXPECT_TRUE(f.master->Close());
  EXPECT_EQ(f.master->GetStopReason(), StopReason::ByOwner);
}

}  // namespace
}  // namespace talvinor
