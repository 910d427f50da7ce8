// The keeper on the desktop's own services: private buses with stand-ins for
// the screen saver and logind, and an Xvfb display (DesktopTestMain.cpp).
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <fstream>
#include <sstream>

#include "core/RefPtr.h"
#include "platform/power/PowerManager.h"
#include "recorder/PowerKeeper.h"
#include "settings/ConfigStore.h"
#include "support/DesktopTestEnvironment.h"
#include "support/PrivateBuses.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"
#include "support/XvfbDisplay.h"

namespace talvinor {
namespace {

using testing::CallsStartingWith;
using testing::DesktopTestEnvironment;
using testing::Login1Calls;
using testing::PumpUntil;
using testing::RecordedKey;
using testing::ScreenSaverCalls;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class PowerKeeperDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_saved = config->Clone();
    config->m_SusPrvMode = 0;
    config->m_RecJustScrOff = 0;
    config->m_RecAutoScrOff = 0;
    config->m_RecAutoScrOffCyc = 20000;
  }
  void TearDown() override { config->CopyFrom(*m_saved); }

  // The desktop's services, with the tick count in the test's hands.
  RefPtr<PowerKeeper> MakeKeeper(uint32_t flags) {
    return Create<PowerKeeper>(flags, PowerKeeperPlatform{nullptr, scope, [this] { return now; }});
  }
  void TickAt(PowerKeeper* keeper, uint32_t tick) {
    now = tick;
    keeper->Tick();
  }
  void RequireDisplay() {
    if (!DesktopTestEnvironment::NoDisplayReason().empty()) GTEST_SKIP() << DesktopTestEnvironment::NoDisplayReason();
  }
  static int Pings() { return CallsStartingWith(ScreenSaverCalls(), QStringLiteral("SimulateUserActivity")).size(); }
  static int Inhibits() { return CallsStartingWith(Login1Calls(), QStringLiteral("Inhibit ")).size(); }

  RefPtr<CONFIG> config = GetConfig();
  uint32_t now = 0;
  testing::TempFolder folder;
  PowerScope scope{folder.Path(), testing::UniqueReloadEventName()};
  Registry registry{folder.Path()};

 private:
  RefPtr<CONFIG> m_saved;
};

TEST_F(PowerKeeperDesktopTest, TheIdleTimerResetPingsTheScreenSaverAtMostEveryFiveSeconds) {
  config->m_SusPrvMode = 1;
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  const int before = Pings();
  now = 0;
  keeper->Begin();
  std::vector<int> seen;
  for (uint32_t tick : {100u, 4999u, 5000u, 5001u, 5002u, 9000u, 10001u, 10002u}) {
    TickAt(keeper.Get(), tick);
    seen.push_back(Pings() - before);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 0, 0, 1, 1, 1, 1, 2}));
  keeper->End();
  EXPECT_EQ(Pings() - before, 2);
}

TEST_F(PowerKeeperDesktopTest, TheDummyKeyIsPressedAtMostEveryFiveSeconds) {
  RequireDisplay();
  const std::string display = DesktopTestEnvironment::DisplayName();
  testing::KeyEventRecorder recorder;
  ASSERT_TRUE(recorder.Start(display));
  uint8_t f24 = testing::F24Keycode(display);
  if (f24 == 0) f24 = testing::KeyPositionCode(display, "FK24");

  config->m_SusPrvMode = 2;
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  const int pings = Pings();
  now = 0x10000;
  keeper->Begin();
  for (uint32_t step = 100; step <= 12000; step += 100) TickAt(keeper.Get(), 0x10000 + step);
  keeper->End();
  std::vector<RecordedKey> events;
  ASSERT_TRUE(recorder.EventsUpToMarker(&events));
  // At 5100 and 10200: more than 5000 after the last one.
  EXPECT_EQ(events, (std::vector<RecordedKey>{{true, f24}, {false, f24}, {true, f24}, {false, f24}}));
  EXPECT_EQ(Pings(), pings) << "the key alone, no screen saver ping";
}

TEST_F(PowerKeeperDesktopTest, SwitchedOffTimeoutsHoldTheSleepInhibitorFromBeginToEnd) {
  config->m_SusPrvMode = 3;
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, 300));
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kACSuspendTimeoutName, 600));
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  const int before = Inhibits();
  keeper->Begin();
  std::shared_ptr<PowerManager> manager = PowerManager::Acquire(scope);
  ASSERT_TRUE(PumpUntil([&] { return manager->Inhibitor() == InhibitorState::Held; }));
  QStringList calls = Login1Calls();
  ASSERT_EQ(CallsStartingWith(calls, QStringLiteral("Inhibit ")).size(), before + 1);
  const QString last = CallsStartingWith(calls, QStringLiteral("Inhibit ")).last();
  EXPECT_TRUE(last.startsWith(QStringLiteral("Inhibit sleep:idle|TALVINOR|"))) << last.toStdString();
  const QString number = last.mid(last.lastIndexOf(QLatin1Char('#')));

  for (uint32_t tick = 100; tick < 30000; tick += 100) TickAt(keeper.Get(), tick);
  EXPECT_FALSE(Login1Calls().contains(QStringLiteral("Released ") + number));

  keeper->End();
  EXPECT_TRUE(PumpUntil([&] { return Login1Calls().contains(QStringLiteral("Released ") + number); }));
  EXPECT_EQ(manager->Inhibitor(), InhibitorState::Released);
  uint32_t battery = 0;
  EXPECT_TRUE(registry.QueryDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, &battery));
  EXPECT_EQ(battery, 300u);
  EXPECT_EQ(Inhibits(), before + 1);
}

TEST_F(PowerKeeperDesktopTest, TimeoutsAlreadyAtZeroWriteNothingAndAskLogindNothing) {
  config->m_SusPrvMode = 3;
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, 0));
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kACSuspendTimeoutName, 0));
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  const std::string bytes = ReadBytes(registry.FilePath());
  const int before = Inhibits();
  testing::TraceCapture trace;
  keeper->Begin();
  for (uint32_t tick = 100; tick < 12000; tick += 100) TickAt(keeper.Get(), tick);
  keeper->End();
  EXPECT_FALSE(trace.Contains("signalled")) << "no reload was sent, so nothing is on its way to logind";
  QCoreApplication::processEvents();
  EXPECT_EQ(Inhibits(), before);
  EXPECT_EQ(ReadBytes(registry.FilePath()), bytes);
}

TEST_F(PowerKeeperDesktopTest, OnlyTheRecordersKeeperSwitchesTheRealDisplayOff) {
  RequireDisplay();
  const std::string display = DesktopTestEnvironment::DisplayName();
  ASSERT_TRUE(testing::ResetXScreenSaver(display));
  config->m_RecJustScrOff = 1;
  config->m_RecAutoScrOff = 1;
  config->m_RecAutoScrOffCyc = 0;
  DisplayPowerState state = DisplayPowerState::Unknown;

  RefPtr<PowerKeeper> player = MakeKeeper(0);
  now = 1;
  player->Begin();
  for (uint32_t tick = 2; tick < 50; ++tick) TickAt(player.Get(), tick);
  player->End();
  ASSERT_TRUE(player->QueryDisplayPower(&state));
  EXPECT_EQ(state, DisplayPowerState::On);

  RefPtr<PowerKeeper> recorder = MakeKeeper(kPowerKeeperDisplaySwitching);
  recorder->Begin();
  ASSERT_TRUE(recorder->QueryDisplayPower(&state));
  EXPECT_EQ(state, DisplayPowerState::Off) << "off as the recording starts";
  // Woken again, it goes off at the next tick of a zero cycle.
  for (uint32_t tick = 51; tick < 54; ++tick) {
    ASSERT_TRUE(testing::ResetXScreenSaver(display));
    TickAt(recorder.Get(), tick);
    ASSERT_TRUE(recorder->QueryDisplayPower(&state));
    EXPECT_EQ(state, DisplayPowerState::Off) << "tick " << tick;
  }
  recorder->End();
  ASSERT_TRUE(testing::ResetXScreenSaver(display));
}

}  // namespace
}  // namespace talvinor
