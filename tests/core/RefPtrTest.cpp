#include <gtest/gtest.h>

#include <stdexcept>

#include "core/CountedProbe.h"
#include "core/RefPtr.h"

namespace talvinor {
namespace {

using testing::g_alive;
using testing::Probe;

class Throwing : public RefObject {
 public:
  Throwing() { throw std::runtime_error("no"); }
};

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

}  // namespace
}  // namespace talvinor
