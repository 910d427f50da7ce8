#include <gtest/gtest.h>

#include "platform/Clock.h"

namespace talvinor {
namespace {

TEST(Clock, TickDifferencesStayCorrectAcrossTheWrap) {
  uint32_t start = 0xFFFFFF00u;
  uint32_t later = 0x00000010u;
  EXPECT_EQ(TicksSince(start, later), 0x110u);
  uint32_t a = GetTickCount();
  Sleep(0);
  EXPECT_LT(TicksSince(a, GetTickCount()), 10000u);
}

}  // namespace
}  // namespace talvinor
