#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/RefPtr.h"

namespace talvinor {
namespace {

int g_alive = 0;

class Probe : public RefObject {
  TALVINOR_CLASS_CODES(0x7001, 0x7000)

 public:
  Probe() { ++g_alive; }
  ~Probe() override { --g_alive; }
};

class Throwing : public RefObject {
 public:
  Throwing() { throw std::runtime_error("no"); }
};

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

TEST(RefPtr, SelfAssignmentAndReassignmentKeepCountsRight) {
  RefPtr<Probe> a = Create<Probe>();
  RefPtr<Probe>& alias = a;
  a = alias;
  EXPECT_EQ(g_alive, 1);
  EXPECT_EQ(a->ReferenceWord() & RefObject::kCountMask, 1u);
  a = a.Get();
  EXPECT_EQ(a->ReferenceWord() & RefObject::kCountMask, 1u);
  RefPtr<Probe> b = a;
  EXPECT_EQ(a->ReferenceWord() & RefObject::kCountMask, 2u);
  b = Create<Probe>();
  EXPECT_EQ(g_alive, 2);
  EXPECT_EQ(a->ReferenceWord() & RefObject::kCountMask, 1u);
  b.Reset();
  EXPECT_EQ(g_alive, 1);
  RefPtr<RefObject> base = std::move(a);
  EXPECT_FALSE(a);
  EXPECT_EQ(g_alive, 1);
  base = nullptr;
  EXPECT_EQ(g_alive, 0);
}

TEST(RefPtr, ThrowingConstructorFillsNoHolderAndLeaksNothing) {
  RefPtr<Throwing> holder;
  EXPECT_THROW(holder = Create<Throwing>(), std::runtime_error);
  EXPECT_FALSE(holder);
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
