#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/CountedProbe.h"
#include "core/RefPtr.h"

namespace talvinor {
namespace {

using testing::g_alive;
using testing::Probe;

TEST(RefObject, CreateHandsTheOnlyReferenceToTheHolderAndMarksTheWord) {
  {
    RefPtr<Probe> p = Create<Probe>();
    EXPECT_EQ(p->ReferenceWord(), 0x10000001u);
    EXPECT_EQ(g_alive, 1);
  }
  EXPECT_EQ(g_alive, 0);
}

TEST(RefObject, CreationMarkNeverShowsInReportedCounts) {
  struct AtLimit : Probe {
    void Preset(uint32_t word) { m_word = word; }
  };
  RefPtr<AtLimit> p = Create<AtLimit>();
  EXPECT_EQ(p->AddRef(), 2u);
  EXPECT_EQ(p->Release(), 1u);
  p->Preset(RefObject::kCreationMark | 0x0FFFFFFE);
  EXPECT_EQ(p->AddRef(), 0x0FFFFFFFu);
  EXPECT_EQ(p->Release(), 0x0FFFFFFEu);
  p->Preset(RefObject::kCreationMark | 1);
}

TEST(RefObject, LastReleaseOfAMarkedObjectDestroysItAndReturnsZero) {
  RefPtr<Probe> p = Create<Probe>();
  Probe* raw = p.Leak();
  EXPECT_EQ(raw->ReferenceWord(), 0x10000001u);
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_EQ(g_alive, 0);
}

TEST(RefObject, QueryAnswersOwnAndFamilyCodesAndCountsOnlyOnSuccess) {
  RefPtr<Probe> p = Create<Probe>();
  EXPECT_EQ(p->GetTypeCode(), 0x7001u);
  EXPECT_EQ(p->Query(0x7002), nullptr);
  EXPECT_EQ(p->ReferenceWord() & RefObject::kCountMask, 1u);
  RefObject* asFamily = p->Query(0x7000);
  ASSERT_EQ(asFamily, p.Get());
  EXPECT_EQ(p->ReferenceWord() & RefObject::kCountMask, 2u);
  asFamily->Release();
  EXPECT_TRUE(p->IsKindOf(0x7001));
  EXPECT_FALSE(p->IsKindOf(0x1001));
  RefPtr<Probe> viaQuery = QueryAs<Probe>(p.Get());
  EXPECT_EQ(viaQuery.Get(), p.Get());
}

TEST(RefObject, BaseClassAnswersNoQuery) {
  struct Plain : RefObject {};
  RefPtr<Plain> p = Create<Plain>();
  EXPECT_EQ(p->GetTypeCode(), 0x1001u);
  EXPECT_EQ(p->Query(0x1001), nullptr);
  EXPECT_FALSE(p->IsKindOf(0x1001));
}

TEST(RefObject, CountsStayExactUnderConcurrentAddRefAndRelease) {
  RefPtr<Probe> p = Create<Probe>();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([raw = p.Get()] {
      for (int i = 0; i < 100000; ++i) {
        raw->AddRef();
        raw->Release();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(p->ReferenceWord(), 0x10000001u);
}

TEST(RefObjectDeathTest, ReleasingADeadCountAborts) {
  struct Kept : RefObject {
    void Destroy() override {}  // keep the storage so the second Release reaches the check
    void Free() { delete this; }
  };
  Kept* kept = Create<Kept>().Leak();
  EXPECT_EQ(kept->Release(), 0u);
  EXPECT_DEATH(kept->Release(), "");
  kept->Free();
}

}  // namespace
}  // namespace talvinor
