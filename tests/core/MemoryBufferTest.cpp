#include <gtest/gtest.h>

#include <cstring>

#include "core/CriticalSectionObject.h"
#include "core/MemoryBuffer.h"
#include "core/ScopedLock.h"

namespace talvinor {
namespace {

TEST(MemoryBuffer, SetSizeWithTheCurrentSizeKeepsBlockAndContents) {
  RefPtr<HeapBuffer> b = Create<HeapBuffer>();
  ASSERT_TRUE(b->SetSize(8));
  uint8_t* first = b->GetPointer();
  std::memcpy(first, "abcdefg", 8);
  ASSERT_TRUE(b->SetSize(8));
  EXPECT_EQ(b->GetPointer(), first);
  EXPECT_STREQ(reinterpret_cast<char*>(b->GetPointer()), "abcdefg");
  ASSERT_TRUE(b->SetSize(16));
  EXPECT_EQ(b->GetSize(), 16u);
}

TEST(MemoryBuffer, CopiesAndTakeOverMoveTheBytes) {
  RefPtr<HeapBuffer> a = Create<HeapBuffer>();
  ASSERT_TRUE(a->CopyFromMemory("hello", 6));
  RefPtr<LocalBuffer> b = Create<LocalBuffer>(3u, LocalBuffer::kZeroInit);
  EXPECT_EQ(b->GetPointer()[0], 0);
  ASSERT_TRUE(b->CopyFrom(a.Get()));
  EXPECT_EQ(b->GetSize(), 6u);
  EXPECT_STREQ(reinterpret_cast<char*>(b->GetPointer()), "hello");

  RefPtr<HeapBuffer> c = Create<HeapBuffer>();
  uint8_t* block = a->GetPointer();
  c->TakeOver(a.Get());
  EXPECT_EQ(c->GetPointer(), block);
  EXPECT_EQ(c->GetSize(), 6u);
  EXPECT_EQ(a->GetSize(), 0u);
}

TEST(MemoryBuffer, FamilyCodesAnswerQueries) {
  RefPtr<HeapBuffer> h = Create<HeapBuffer>();
  EXPECT_TRUE(h->IsKindOf(0x1301));
  EXPECT_TRUE(h->IsKindOf(0x1300));
  EXPECT_FALSE(h->IsKindOf(0x1302));
  RefPtr<LocalBuffer> l = Create<LocalBuffer>(0u);
  EXPECT_TRUE(l->IsKindOf(0x1302));
  EXPECT_TRUE(l->IsKindOf(0x1300));
  EXPECT_NE(l->GetPointer(), nullptr);  // an empty buffer still has a valid block
}

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
