#include "core/Worker.h"

#include <gtest/gtest.h>

#include <atomic>

#include "core/EventObject.h"
#include "support/WaitUntil.h"
#include "platform/window/HeadlessMessageQueue.h"

namespace talvinor {
namespace {

using testing::WaitUntil;

// Runs until released (or stopped) and reports how often it ran and, when
// asked, that it was destroyed.
class GateWorker : public Worker {
 public:
  ~GateWorker() override {
    if (destroyed) destroyed->fetch_add(1);
  }
  uint32_t Run() override {
    runs.fetch_add(1);
    while (!IsStopRequested() && !release.load()) gate->Wait(1000);
    return 7;
  }
  void Open() {
    release.store(true);
    gate->Set();
  }
  RefPtr<EventObject> gate = Create<EventObject>();
  std::atomic<bool> release{false};
  std::atomic<int> runs{0};
  // Counted per test: a worker of an earlier test may still be ending on its
  // own thread.
  std::atomic<int>* destroyed = nullptr;
};

TEST(WorkerTest, StartWhileRunningIsRefusedAndStartsNoSecondThread) {
  RefPtr<GateWorker> worker = Create<GateWorker>();
  ASSERT_TRUE(worker->Start());
  EXPECT_TRUE(worker->IsRunning());
  EXPECT_FALSE(worker->Start());
  worker->Open();
  EXPECT_TRUE(worker->Wait(5000));
  EXPECT_EQ(worker->runs.load(), 1);
  EXPECT_FALSE(worker->IsRunning());
  // The ended thread is replaced by a new run.
  worker->release.store(false);
  worker->gate->Reset();
  ASSERT_TRUE(worker->Start());
  EXPECT_TRUE(worker->Stop(5000));
  EXPECT_EQ(worker->runs.load(), 2);
}

TEST(WorkerTest, WaitTimesOutWhileRunningAndFailsWithoutThread) {
  RefPtr<GateWorker> worker = Create<GateWorker>();
  EXPECT_FALSE(worker->Wait(0));
  ASSERT_TRUE(worker->Start());
  EXPECT_FALSE(worker->Wait(20));
  EXPECT_TRUE(worker->Stop(5000));
  EXPECT_FALSE(worker->IsStopRequested());  // cleared when the thread ends
}

TEST(WorkerTest, SuspendAndResumeAreNotAvailable) {
  RefPtr<GateWorker> worker = Create<GateWorker>();
  EXPECT_EQ(worker->SuspendWorker(), -1);
  ASSERT_TRUE(worker->Start());
  EXPECT_EQ(worker->SuspendWorker(), -1);
  EXPECT_EQ(worker->ResumeWorker(), -1);
  EXPECT_TRUE(worker->Stop(5000));
}

TEST(WorkerTest, EndingThreadPostsCompletionNoticeWithResult) {
  HeadlessMessageQueue window;
  RefPtr<GateWorker> worker = Create<GateWorker>();
  worker->SetCompletionNotice(window.Id(), 0x8123, 99);
  ASSERT_TRUE(worker->Start());
  worker->Open();
  auto notice = window.TakeMessage(0x8123, 5000);
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice->wParam, 7u);
  EXPECT_EQ(notice->lParam, 99);
}

TEST(WorkerTest, RunningWorkerOutlivesItsLastOutsideReference) {
  static std::atomic<int> destroyed{0};  // outlives a worker that ends late
  const int before = destroyed.load();
  RefPtr<GateWorker> worker = Create<GateWorker>();
  worker->destroyed = &destroyed;
  ASSERT_TRUE(worker->Start());
  RefPtr<EventObject> gate = worker->gate;
  GateWorker* raw = worker.Get();
  worker = nullptr;  // the thread still holds its own reference
  // Still alive: the run can be released through the object.
  EXPECT_EQ(destroyed.load(), before);
  raw->release.store(true);
  gate->Set();
  // The thread frees the object on its way out.
  EXPECT_TRUE(WaitUntil([&] { return destroyed.load() == before + 1; }));
}

}  // namespace
}  // namespace talvinor
