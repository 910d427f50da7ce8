#include <gtest/gtest.h>

#include <vector>

#include "core/Singletons.h"

namespace talvinor {
namespace {

std::vector<int> g_released;

template <int Slot>
struct Service : RefObject {
  ~Service() override { g_released.push_back(Slot); }
};

template <int Slot>
void Fill() {
  GetOrCreateSingleton<Service<Slot>>(static_cast<SingletonSlot>(Slot));
}

TEST(Singletons, GetterCreatesOnceAndTeardownFollowsTheFixedOrder) {
  g_released.clear();
  auto first = GetOrCreateSingleton<Service<12>>(SingletonSlot::Settings);
  auto again = GetOrCreateSingleton<Service<12>>(SingletonSlot::Settings);
  EXPECT_EQ(first.Get(), again.Get());
  first.Reset();
  again.Reset();
  Fill<6>(); Fill<7>(); Fill<8>(); Fill<9>(); Fill<10>(); Fill<11>();
  Fill<13>(); Fill<14>(); Fill<15>(); Fill<16>();
  SetMainWindowHandle(42);
  ReleaseSingletons();
  EXPECT_EQ(g_released, (std::vector<int>{12, 15, 16, 6, 10, 11, 8, 7, 9, 14, 13}));
  EXPECT_EQ(GetMainWindowHandle(), 0u);
  EXPECT_FALSE(GetSingletonObject(12));
}

}  // namespace
}  // namespace talvinor
