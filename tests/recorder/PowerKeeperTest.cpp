// The keeper's rules, with a recording stand-in for the desktop services,
// an injected tick count and a registry of the test's own.
#include "recorder/PowerKeeper.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/RefPtr.h"
#include "support/ChildProcess.h"
#include "platform/power/PowerManager.h"
#include "platform/power/PowerServices.h"
#include "settings/ConfigStore.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"
#include "support/WaitUntil.h"

namespace talvinor {
namespace {

class RecordingServices : public PowerServices {
 public:
  bool ResetIdleTimer() override { return Record("ResetIdleTimer"); }
  bool SendDummyKey() override { return Record("SendDummyKey"); }
  bool DisplayOff() override {
    Record("DisplayOff");
    if (displayOffWorks) state = DisplayPowerState::Off;
    return displayOffWorks;
  }
  bool QueryDisplayPower(DisplayPowerState* answer) override {
    Record("QueryDisplayPower");
    if (!queryAnswers) return false;
    *answer = state;
    return true;
  }

  size_t Count(const std::string& call) const {
    size_t n = 0;
    for (const std::string& c : calls) n += c == call;
    return n;
  }

  std::vector<std::string> calls;
  DisplayPowerState state = DisplayPowerState::On;
  bool queryAnswers = true;
  bool displayOffWorks = true;

 private:
  bool Record(const char* call) {
    calls.emplace_back(call);
    return true;
  }
};

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class PowerKeeperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_saved = config->Clone();
    config->m_SusPrvMode = 0;
    config->m_RecJustScrOff = 0;
    config->m_RecAutoScrOff = 0;
    config->m_RecAutoScrOffCyc = 20000;
  }
  void TearDown() override { config->CopyFrom(*m_saved); }

  RefPtr<PowerKeeper> MakeKeeper(uint32_t flags) {
    return Create<PowerKeeper>(flags, PowerKeeperPlatform{&services, scope, [this] { return now; }});
  }
  void TickAt(PowerKeeper* keeper, uint32_t tick) {
    now = tick;
    keeper->Tick();
  }
  void SetTimeouts(uint32_t battery, uint32_t mains) {
    ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, battery));
    ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kACSuspendTimeoutName, mains));
  }
  // A time-out as stored; 0xDEAD when it is not a DWORD of 4 bytes.
  uint32_t Stored(const wchar_t* key, const wchar_t* name) {
    uint32_t value = 0;
    return registry.QueryDword(key, name, &value) ? value : 0xDEAD;
  }

  RefPtr<CONFIG> config = GetConfig();
  RecordingServices services;
  uint32_t now = 0;
  testing::TempFolder folder;
  PowerScope scope{folder.Path(), "PowerManager/ReloadActivityTimeouts-keeper-" + std::to_string(::getpid())};
  Registry registry{folder.Path()};

 private:
  RefPtr<CONFIG> m_saved;
};

TEST_F(PowerKeeperTest, TheKeepAwakeActionRunsOnlyWhenMoreThanFiveSecondsHavePassed) {
  struct Case {
    uint32_t mode;
    const char* action;  // null: none
  };
  for (Case c : {Case{1, "ResetIdleTimer"}, Case{2, "SendDummyKey"}, Case{7, "ResetIdleTimer"}, Case{0, nullptr},
                 Case{3, nullptr}}) {
    SCOPED_TRACE(::testing::Message() << "m_SusPrvMode " << c.mode);
    config->m_SusPrvMode = c.mode;
    services.calls.clear();
    RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
    now = 1000;
    keeper->Begin();
    std::vector<size_t> counts;
    for (uint32_t tick : {5999u, 6000u, 6001u, 6002u, 8000u, 11001u, 11002u, 11003u}) {
      TickAt(keeper.Get(), tick);
      counts.push_back(c.action ? services.Count(c.action) : services.calls.size());
    }
    if (c.action) {
      EXPECT_EQ(counts, (std::vector<size_t>{0, 0, 1, 1, 1, 1, 2, 2}));
      EXPECT_EQ(services.calls.size(), 2u) << "nothing else is done";
    } else {
      EXPECT_EQ(services.calls.size(), 0u);
    }
    keeper->End();
  }
}

TEST_F(PowerKeeperTest, TickDifferencesStayRightAcrossTheWrapOfTheTickCount) {
  config->m_SusPrvMode = 1;
  config->m_RecAutoScrOff = 1;
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  now = 0xFFFFEC78u;  // 5000 ms before the wrap
  keeper->Begin();
  TickAt(keeper.Get(), 0xFFFFFFFFu);
  TickAt(keeper.Get(), 0x00000000u);
  EXPECT_EQ(services.Count("ResetIdleTimer"), 0u);
  TickAt(keeper.Get(), 0x00000001u);
  EXPECT_EQ(services.Count("ResetIdleTimer"), 1u);
  TickAt(keeper.Get(), 0x00001389u);
  EXPECT_EQ(services.Count("ResetIdleTimer"), 1u);
  TickAt(keeper.Get(), 0x0000138Au);
  EXPECT_EQ(services.Count("ResetIdleTimer"), 2u);
  // The display cycle began before the wrap too: 20000 ms after Begin is 0x3A98.
  TickAt(keeper.Get(), 0x00003A98u);
  EXPECT_EQ(services.Count("QueryDisplayPower"), 0u);
  TickAt(keeper.Get(), 0x00003A99u);
  EXPECT_EQ(services.Count("QueryDisplayPower"), 1u);
  EXPECT_EQ(services.Count("DisplayOff"), 1u);
}

TEST_F(PowerKeeperTest, ThePlayersKeeperNeverSwitchesTheDisplayOff) {
  config->m_RecJustScrOff = 1;
  config->m_RecAutoScrOff = 1;
  config->m_RecAutoScrOffCyc = 0;
  RefPtr<PowerKeeper> keeper = MakeKeeper(0);
  now = 10;
  keeper->Begin();
  for (uint32_t tick = 11; tick < 100000; tick += 997) TickAt(keeper.Get(), tick);
  keeper->End();
  EXPECT_EQ(services.Count("DisplayOff"), 0u);
  EXPECT_EQ(services.Count("QueryDisplayPower"), 0u);
  // The menu's command still may.
  EXPECT_TRUE(keeper->DisplayOff());
}

TEST_F(PowerKeeperTest, TheRecordersKeeperSwitchesTheDisplayOffAtTheStartOnlyWhenAsked) {
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  keeper->Begin();
  EXPECT_EQ(services.calls.size(), 0u);
  keeper->End();
  config->m_RecJustScrOff = 1;
  keeper->Begin();
  EXPECT_EQ(services.calls, (std::vector<std::string>{"DisplayOff"})) << "at once, without asking the state";
  keeper->End();
  EXPECT_EQ(services.calls.size(), 1u);
}

TEST_F(PowerKeeperTest, ThePeriodicDisplayOffAsksTheStateFirstAndWaitsAWholeCycle) {
  config->m_RecAutoScrOff = 1;
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  keeper->Begin();
  TickAt(keeper.Get(), 20000);
  EXPECT_EQ(services.calls.size(), 0u);
  TickAt(keeper.Get(), 20001);
  EXPECT_EQ(services.calls, (std::vector<std::string>{"QueryDisplayPower", "DisplayOff"}));
  TickAt(keeper.Get(), 40001);
  EXPECT_EQ(services.calls.size(), 2u);
  // Already off: only asked.
  TickAt(keeper.Get(), 40002);
  EXPECT_EQ(services.calls.size(), 3u);
  EXPECT_EQ(services.Count("DisplayOff"), 1u);
  for (DisplayPowerState state : {DisplayPowerState::Standby, DisplayPowerState::Suspend, DisplayPowerState::On}) {
    services.state = state;
    TickAt(keeper.Get(), now + 20001);
    EXPECT_EQ(services.calls.back(), "DisplayOff") << static_cast<int>(state);
  }
  services.state = DisplayPowerState::Unknown;
  const size_t before = services.calls.size();
  TickAt(keeper.Get(), now + 20001);
  EXPECT_EQ(services.calls.size(), before + 1) << "an unknown state is left alone";
  // A query that fails still starts a new cycle.
  services.queryAnswers = false;
  TickAt(keeper.Get(), now + 20001);
  EXPECT_EQ(services.calls.size(), before + 2);
  services.queryAnswers = true;
  services.state = DisplayPowerState::On;
  TickAt(keeper.Get(), now + 20000);
  EXPECT_EQ(services.calls.size(), before + 2);

  config->m_RecAutoScrOff = 0;
  TickAt(keeper.Get(), now + 100000);
  EXPECT_EQ(services.calls.size(), before + 2);
}

TEST_F(PowerKeeperTest, ACycleOfZeroSwitchesTheDisplayOffOnEveryTickThatMovesTheClock) {
  config->m_RecAutoScrOff = 1;
  config->m_RecAutoScrOffCyc = 0;
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  now = 500;
  keeper->Begin();
  TickAt(keeper.Get(), 500);
  EXPECT_EQ(services.calls.size(), 0u);
  for (uint32_t tick = 501; tick <= 505; ++tick) {
    services.state = DisplayPowerState::On;  // someone woke it
    TickAt(keeper.Get(), tick);
  }
  EXPECT_EQ(services.Count("DisplayOff"), 5u);
  services.state = DisplayPowerState::On;
  TickAt(keeper.Get(), 505);
  EXPECT_EQ(services.Count("DisplayOff"), 5u);
}

TEST_F(PowerKeeperTest, BeginSwitchesTheTimeoutsOffAndEndPutsThemBack) {
  config->m_SusPrvMode = 3;
  SetTimeouts(300, 600);
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  testing::TraceCapture trace;
  keeper->Begin();
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 0u);
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 0u);
  EXPECT_EQ(Stored(kPowerKeeperKey, kSavedBattSuspendTimeoutName), 300u);
  EXPECT_EQ(Stored(kPowerKeeperKey, kSavedACSuspendTimeoutName), 600u);
  EXPECT_EQ(keeper->SavedBatteryTimeout(), 300u);
  EXPECT_EQ(keeper->SavedMainsTimeout(), 600u);
  EXPECT_TRUE(trace.Contains("signalled"));
  // The power manager hears it.
  std::shared_ptr<PowerManager> manager = PowerManager::Acquire(scope);
  EXPECT_TRUE(testing::WaitUntil([&] { return manager->ReloadsHandled() >= 1; }));

  // Ticks change nothing in this mode.
  for (uint32_t tick = 1; tick < 60000; tick += 1000) TickAt(keeper.Get(), tick);
  EXPECT_EQ(services.calls.size(), 0u);

  const uint32_t reloads = manager->ReloadsHandled();
  keeper->End();
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 300u);
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 600u);
  EXPECT_EQ(Stored(kPowerKeeperKey, kSavedBattSuspendTimeoutName), 0xDEADu) << "the copies are gone";
  EXPECT_EQ(Stored(kPowerKeeperKey, kSavedACSuspendTimeoutName), 0xDEADu);
  EXPECT_EQ(keeper->SavedBatteryTimeout(), 0u);
  EXPECT_TRUE(testing::WaitUntil([&] { return manager->ReloadsHandled() > reloads; }));

  // A second End has nothing to put back and writes nothing.
  const std::string bytes = ReadBytes(registry.FilePath());
  keeper->End();
  EXPECT_EQ(ReadBytes(registry.FilePath()), bytes);
}

TEST_F(PowerKeeperTest, TimeoutsThatAreAlreadyZeroAreNeitherWrittenNorSignalled) {
  config->m_SusPrvMode = 3;
  SetTimeouts(0, 0);
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  const std::string bytes = ReadBytes(registry.FilePath());
  testing::TraceCapture trace;
  keeper->Begin();
  EXPECT_EQ(ReadBytes(registry.FilePath()), bytes);
  keeper->End();
  EXPECT_EQ(ReadBytes(registry.FilePath()), bytes);
  EXPECT_FALSE(trace.Contains("signalled"));
}

TEST_F(PowerKeeperTest, ATimeoutThatIsNotADwordCountsAsZeroAndIsLeftAlone) {
  config->m_SusPrvMode = 3;
  ASSERT_TRUE(registry.SetString(kPowerTimeoutsKey, kBattSuspendTimeoutName, L"300"));
  ASSERT_TRUE(registry.SetValue(kPowerTimeoutsKey, kACSuspendTimeoutName, RegistryValue{RegistryType::Dword, {0x58, 0x02}}));
  RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
  const std::string bytes = ReadBytes(registry.FilePath());
  keeper->Begin();
  keeper->End();
  EXPECT_EQ(ReadBytes(registry.FilePath()), bytes);

  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kACSuspendTimeoutName, 600));
  keeper->Begin();
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 0u);
  keeper->End();
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 600u);
  std::wstring text;
  EXPECT_TRUE(registry.QueryString(kPowerTimeoutsKey, kBattSuspendTimeoutName, &text));
  EXPECT_EQ(text, L"300");
}

TEST_F(PowerKeeperTest, TheTimeoutsComeBackAfterAPauseAChangedSettingOrALostKeeper) {
  config->m_SusPrvMode = 3;
  SetTimeouts(300, 600);
  {
    // A resumed recording begins again while the time-outs are still off.
    RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
    keeper->Begin();
    keeper->Begin();
    EXPECT_EQ(keeper->SavedBatteryTimeout(), 300u);
    EXPECT_EQ(Stored(kPowerKeeperKey, kSavedBattSuspendTimeoutName), 300u);
    keeper->End();
    EXPECT_EQ(Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 300u);
    EXPECT_EQ(Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 600u);
  }
  {
    // The setting changed while recording.
    RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
    keeper->Begin();
    config->m_SusPrvMode = 1;
    keeper->End();
    EXPECT_EQ(Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 300u);
    EXPECT_EQ(Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 600u);
    config->m_SusPrvMode = 3;
  }
  {
    // The page let go of its keeper without End.
    RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
    keeper->Begin();
    EXPECT_EQ(Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 0u);
  }
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 300u);
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 600u);
  EXPECT_EQ(Stored(kPowerKeeperKey, kSavedBattSuspendTimeoutName), 0xDEADu);
}

TEST_F(PowerKeeperTest, ARunThatEndedWithoutEndIsMendedAtTheNextStart) {
  config->m_SusPrvMode = 3;
  SetTimeouts(300, 600);
  // A program that dies between Begin and End.
  testing::ChildProcess crashed([&]() {
    RefPtr<PowerKeeper> keeper = MakeKeeper(kPowerKeeperDisplaySwitching);
    keeper->Begin();
    ::_exit(keeper->SavedBatteryTimeout() == 300 ? 0 : 1);
    return 1;
  });
  ASSERT_EQ(crashed.Join(30000), 0);
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 0u);
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 0u);

  // The next Begin would find only 0s to save: the copies must win first.
  EXPECT_TRUE(PowerKeeper::RestoreAfterUnfinishedRun(scope));
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 300u);
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 600u);
  EXPECT_EQ(Stored(kPowerKeeperKey, kSavedBattSuspendTimeoutName), 0xDEADu);
  EXPECT_EQ(Stored(kPowerKeeperKey, kSavedACSuspendTimeoutName), 0xDEADu);
  const std::string bytes = ReadBytes(registry.FilePath());
  EXPECT_FALSE(PowerKeeper::RestoreAfterUnfinishedRun(scope)) << "nothing left to mend";
  EXPECT_EQ(ReadBytes(registry.FilePath()), bytes);

  // A time-out someone set again meanwhile is theirs.
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, 0));
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kACSuspendTimeoutName, 900));
  ASSERT_TRUE(registry.SetDword(kPowerKeeperKey, kSavedBattSuspendTimeoutName, 300));
  ASSERT_TRUE(registry.SetDword(kPowerKeeperKey, kSavedACSuspendTimeoutName, 600));
  EXPECT_TRUE(PowerKeeper::RestoreAfterUnfinishedRun(scope));
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kBattSuspendTimeoutName), 300u);
  EXPECT_EQ(Stored(kPowerTimeoutsKey, kACSuspendTimeoutName), 900u);

  // The dead run's event is cleared away by the next manager of that name.
  PowerManager::Acquire(scope).reset();
}

}  // namespace
}  // namespace talvinor
