#include <gtest/gtest.h>

#include <thread>

#include "core/CriticalSectionObject.h"
#include "core/ScopedLock.h"

namespace talvinor {
namespace {

TEST(ScopedLock, HoldsTheLockForItsLifeAndIsReentrantOnOneThread) {
  RefPtr<CriticalSectionObject> cs = Create<CriticalSectionObject>();
  {
    RefPtr<ScopedLock> guard = Create<ScopedLock>(cs);
    EXPECT_EQ(cs->ReferenceWord() & RefObject::kCountMask, 2u);
    RefPtr<ScopedLock> inner = Create<ScopedLock>(cs);  // same thread: no deadlock
    bool otherGot = true;
    std::thread t([&] { otherGot = cs->TryLock(); });
    t.join();
    EXPECT_FALSE(otherGot);
  }
  EXPECT_EQ(cs->ReferenceWord() & RefObject::kCountMask, 1u);
  bool otherGot = false;
  std::thread t([&] {
    otherGot = cs->TryLock();
    if (otherGot) cs->Unlock();
  });
  t.join();
  EXPECT_TRUE(otherGot);
}

}  // namespace
}  // namespace talvinor
