// What the running instance does about power: it puts back the suspend
// time-outs an unfinished run left switched off before anything records,
// and its menu's "画面消灯" reaches the display, or says it cannot.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "app/Application.h"
#include "app/FrameTestSupport.h"
#include "platform/power/PowerTimeouts.h"
#include "platform/registry/Registry.h"
#include "recorder/PowerKeeper.h"
#include "settings/WaveDeviceQuery.h"

namespace talvinor {
namespace {

using testing::TempFolder;
using testing::UniqueName;

// An environment variable set (or removed) for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (m_old) {
      ::setenv(m_name, m_old->c_str(), 1);
    } else {
      ::unsetenv(m_name);
    }
  }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

struct PowerInstance {
  TempFolder program;
  TempFolder config;
  ScopedEnv xdgConfig{"XDG_CONFIG_HOME", config.Path()};
  ApplicationOptions options;
  std::vector<int> quits;

  PowerInstance() {
    OverrideProgramFolder(program.WPath());
    options.instanceKey = UniqueName("power");
    options.channelName = UniqueName("power");
    options.sizeClass = 17;
    options.quit = [this](int code) { quits.push_back(code); };
    options.devices = Create<FixedWaveDeviceQuery>(1u, 1u, 0x0FFFu);
  }
  ~PowerInstance() { OverrideProgramFolder(L""); }
  Registry Store() const { return Registry(Registry::UserFolder()); }
  // A run killed between Begin and End: both time-outs 0, the copies kept.
  void LeaveUnfinishedRun() const {
    Registry store = Store();
    ASSERT_TRUE(store.SetDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, 0));
    ASSERT_TRUE(store.SetDword(kPowerTimeoutsKey, kACSuspendTimeoutName, 0));
    ASSERT_TRUE(store.SetDword(kPowerKeeperKey, kSavedBattSuspendTimeoutName, 300));
    ASSERT_TRUE(store.SetDword(kPowerKeeperKey, kSavedACSuspendTimeoutName, 600));
  }
  uint32_t Stored(const wchar_t* key, const wchar_t* name) const {
    uint32_t value = 0;
    return Store().QueryDword(key, name, &value) ? value : 0xDEAD;
  }
};

TEST(ApplicationPower, TheRunningInstancePutsBackTimeoutsAnUnfinishedRunLeftOff) {
  PowerInstance instance;
  ASSERT_EQ(Registry::UserFolder(), instance.config.Path() + "/talvinor");
  instance.LeaveUnfinishedRun();
  auto app = Create<Application>(instance.options);
  ASSERT_TRUE(app->Init(L""));
  ASSERT_TRUE(app->Start());
  EXPECT_EQ(instance.Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 300u);
  EXPECT_EQ(instance.Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 600u);
  EXPECT_EQ(instance.Stored(kPowerKeeperKey, kSavedBattSuspendTimeoutName), 0xDEADu) << "the copies are gone";
  app->Teardown();

  // Told not to, it leaves the store alone.
  instance.LeaveUnfinishedRun();
  instance.options.restorePowerTimeouts = false;
  auto other = Create<Application>(instance.options);
  ASSERT_TRUE(other->Init(L""));
  ASSERT_TRUE(other->Start());
  EXPECT_EQ(instance.Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 0u);
  other->Teardown();
}

TEST(ApplicationPower, TheMenusDisplayOffReachesThePowerLayerOrSaysItCannot) {
  PowerInstance instance;
  int asked = 0;
  bool answer = true;
  instance.options.displayOff = [&] {
    ++asked;
    return answer;
  };
  auto app = Create<Application>(instance.options);
  ASSERT_TRUE(app->Init(L""));
  ASSERT_TRUE(app->Start());
  FrameWindow* frame = app->Frame();
  frame->HandleMessage(kWmCommand, MakeWParam(FrameWindow::kMenuDisplayOff, 0), 0);
  EXPECT_EQ(asked, 1);
  EXPECT_NE(frame->MessageArea()->ShownText(), FrameWindow::kDisplayOffUnsupported);
  answer = false;
  frame->HandleMessage(kWmCommand, MakeWParam(FrameWindow::kMenuDisplayOff, 0), 0);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(frame->MessageArea()->ShownText(), FrameWindow::kDisplayOffUnsupported);
  app->Teardown();

  // The program's own: without a display the power layer cannot, and says so.
  ScopedEnv noDisplay("DISPLAY", std::nullopt);
  instance.options.displayOff = nullptr;
  auto program = Create<Application>(instance.options);
  ASSERT_TRUE(program->Init(L""));
  ASSERT_TRUE(program->Start());
  program->Frame()->HandleMessage(kWmCommand, MakeWParam(FrameWindow::kMenuDisplayOff, 0), 0);
  EXPECT_EQ(program->Frame()->MessageArea()->ShownText(), FrameWindow::kDisplayOffUnsupported);
  program->Teardown();
}

}  // namespace
}  // namespace talvinor
