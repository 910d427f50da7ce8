#include <gtest/gtest.h>

#include <cstring>

#include "core/MemoryBuffer.h"

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

}  // namespace
}  // namespace talvinor
