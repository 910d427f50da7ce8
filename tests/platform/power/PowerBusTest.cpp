// The power layer against real buses: private dbus-daemons with stand-ins
// for the screen saver and logind (see DesktopTestMain.cpp).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>

#include <QCoreApplication>

#include "platform/power/PowerManager.h"
#include "platform/power/ScreenSaverActivity.h"
#include "platform/power/SleepInhibitor.h"
#include "support/DesktopTestEnvironment.h"
#include "support/PrivateBuses.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using testing::CallsStartingWith;
using testing::Login1Calls;
using testing::PumpUntil;
using testing::ScreenSaverCalls;

constexpr const char* kChildFolder = "TALVINOR_POWER_CHILD_FOLDER";
constexpr const char* kChildEvent = "TALVINOR_POWER_CHILD_EVENT";

// The number logind's stand-in gave the last inhibitor it handed out.
QString LastInhibitorNumber(const QStringList& calls) {
  QStringList inhibits = CallsStartingWith(calls, QStringLiteral("Inhibit "));
  if (inhibits.isEmpty()) return {};
  const QString& last = inhibits.last();
  return last.mid(last.lastIndexOf(QLatin1Char('#')));
}

bool Released(const QString& number) {
  return Login1Calls().contains(QStringLiteral("Released ") + number);
}

class PowerBusTest : public ::testing::Test {
 protected:
  void SetTimeouts(uint32_t battery, uint32_t mains) {
    ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, battery));
    ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kACSuspendTimeoutName, mains));
  }
  // Signals the reload and waits until the manager has handled it.
  void Reload(PowerManager* manager) {
    const uint32_t before = manager->ReloadsHandled();
    ASSERT_TRUE(SendReloadActivityTimeouts(scope));
    ASSERT_TRUE(PumpUntil([&] { return manager->ReloadsHandled() > before; }));
  }

  testing::TempFolder folder;
  PowerScope scope{folder.Path(), testing::UniqueReloadEventName()};
  Registry registry{folder.Path()};
};

TEST_F(PowerBusTest, SimulateUserActivityReachesTheScreenSaverWhereverItIsServed) {
  const int before = CallsStartingWith(ScreenSaverCalls(), QStringLiteral("SimulateUserActivity")).size();
  ASSERT_TRUE(SimulateUserActivity());
  QStringList calls = ScreenSaverCalls();
  ASSERT_EQ(CallsStartingWith(calls, QStringLiteral("SimulateUserActivity")).size(), before + 1);
  EXPECT_EQ(calls.last(), QStringLiteral("SimulateUserActivity /org/freedesktop/ScreenSaver"));

  // A desktop that serves only the short path is found there, and the ping
  // goes straight there from then on.
  ASSERT_TRUE(testing::ServeScreenSaverAt({QStringLiteral("/ScreenSaver")}));
  {
    testing::TraceCapture trace;
    ASSERT_TRUE(SimulateUserActivity());
    ASSERT_TRUE(PumpUntil([] { return ScreenSaverCalls().last() == QStringLiteral("SimulateUserActivity /ScreenSaver"); }));
    // The answer came before the stand-in's; handing it over needs one more turn.
    QCoreApplication::processEvents();
    ASSERT_TRUE(SimulateUserActivity());
    calls = ScreenSaverCalls();
    QCoreApplication::processEvents();
    EXPECT_EQ(CallsStartingWith(calls, QStringLiteral("SimulateUserActivity /ScreenSaver")).size(), 2);
    int missed = 0;
    for (const std::string& line : trace.Lines()) missed += line.find("- /org/freedesktop/ScreenSaver:") != std::string::npos;
    EXPECT_EQ(missed, 1);
  }

  // With no screen saver at all both paths are tried once, and the failure
  // is only traced.
  ASSERT_TRUE(testing::ServeScreenSaverAt({}));
  {
    testing::TraceCapture trace;
    ASSERT_TRUE(SimulateUserActivity());
    EXPECT_TRUE(PumpUntil([&] { return trace.Contains("- /ScreenSaver: ") && trace.Contains("- /org/freedesktop/ScreenSaver: "); }));
    ScreenSaverCalls();  // everything sent has been answered
    QCoreApplication::processEvents();
    int failures = 0;
    for (const std::string& line : trace.Lines()) failures += line.find("SimulateUserActivity - ") != std::string::npos;
    EXPECT_EQ(failures, 2);
  }
  ASSERT_TRUE(testing::ServeScreenSaverAt({QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("/ScreenSaver")}));
}

TEST_F(PowerBusTest, BothTimeoutsAtZeroHoldTheInhibitorUntilEitherIsSetAgain) {
  SetTimeouts(0, 0);
  std::shared_ptr<PowerManager> manager = PowerManager::Acquire(scope);
  ASSERT_TRUE(manager->IsListening());
  EXPECT_EQ(manager->Inhibitor(), InhibitorState::Released) << "the manager acts only on a reload";

  const int inhibitsBefore = CallsStartingWith(Login1Calls(), QStringLiteral("Inhibit ")).size();
  Reload(manager.get());
  ASSERT_TRUE(PumpUntil([&] { return manager->Inhibitor() == InhibitorState::Held; }));
  QStringList calls = Login1Calls();
  QStringList inhibits = CallsStartingWith(calls, QStringLiteral("Inhibit "));
  ASSERT_EQ(inhibits.size(), inhibitsBefore + 1);
  const QString number = LastInhibitorNumber(calls);
  EXPECT_EQ(inhibits.last(), QStringLiteral("Inhibit sleep:idle|TALVINOR|録音・再生中のサスペンド防止|block ") + number);
  EXPECT_FALSE(Released(number));

  // Another reload with both still 0 keeps the one inhibitor.
  Reload(manager.get());
  EXPECT_EQ(CallsStartingWith(Login1Calls(), QStringLiteral("Inhibit ")).size(), inhibitsBefore + 1);
  EXPECT_FALSE(Released(number));

  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, 300));
  Reload(manager.get());
  EXPECT_TRUE(PumpUntil([&] { return Released(number); })) << "logind's descriptor is closed";
  EXPECT_EQ(manager->Inhibitor(), InhibitorState::Released);

  // Only the two together count: the mains time-out alone at 0 holds nothing.
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kACSuspendTimeoutName, 0));
  Reload(manager.get());
  EXPECT_EQ(CallsStartingWith(Login1Calls(), QStringLiteral("Inhibit ")).size(), inhibitsBefore + 1);
}

TEST_F(PowerBusTest, TheLastHolderLettingGoOfTheManagerClosesTheInhibitor) {
  SetTimeouts(0, 0);
  std::shared_ptr<PowerManager> manager = PowerManager::Acquire(scope);
  std::shared_ptr<PowerManager> same = PowerManager::Acquire(scope);
  EXPECT_EQ(manager, same) << "one manager per scope";
  Reload(manager.get());
  ASSERT_TRUE(PumpUntil([&] { return manager->Inhibitor() == InhibitorState::Held; }));
  const QString number = LastInhibitorNumber(Login1Calls());
  same.reset();
  EXPECT_FALSE(Released(number));
  manager.reset();
  EXPECT_TRUE(PumpUntil([&] { return Released(number); }));
  // The event goes with it: nobody listens any more.
  EXPECT_FALSE(SendReloadActivityTimeouts(scope));
}

TEST_F(PowerBusTest, AnInhibitorReleasedBeforeLogindAnswersIsClosedOnArrival) {
  SleepInhibitor inhibitor;
  const int before = CallsStartingWith(Login1Calls(), QStringLiteral("Inhibit ")).size();
  ASSERT_TRUE(inhibitor.Hold());
  EXPECT_EQ(inhibitor.State(), InhibitorState::Requested);
  EXPECT_TRUE(inhibitor.Hold()) << "a second Hold asks nothing more";
  inhibitor.Release();
  EXPECT_EQ(inhibitor.State(), InhibitorState::Released);
  QString number;
  ASSERT_TRUE(PumpUntil([&] {
    QStringList calls = Login1Calls();
    if (CallsStartingWith(calls, QStringLiteral("Inhibit ")).size() != before + 1) return false;
    number = LastInhibitorNumber(calls);
    return calls.contains(QStringLiteral("Released ") + number);
  }));
  EXPECT_EQ(inhibitor.State(), InhibitorState::Released);
}

TEST_F(PowerBusTest, ATimeoutThatIsMissingOrNotADwordDoesNotCountAsZero) {
  std::shared_ptr<PowerManager> manager = PowerManager::Acquire(scope);
  const int before = CallsStartingWith(Login1Calls(), QStringLiteral("Inhibit ")).size();
  ASSERT_TRUE(registry.SetString(kPowerTimeoutsKey, kBattSuspendTimeoutName, L"0"));
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kACSuspendTimeoutName, 0));
  Reload(manager.get());
  ASSERT_TRUE(registry.DeleteValue(kPowerTimeoutsKey, kBattSuspendTimeoutName));
  Reload(manager.get());
  // Anything the reloads asked for has reached the stand-in by now.
  EXPECT_EQ(CallsStartingWith(Login1Calls(), QStringLiteral("Inhibit ")).size(), before);
  EXPECT_EQ(manager->Inhibitor(), InhibitorState::Released);
}

TEST_F(PowerBusTest, MissingTimeoutsGetTheirDefaultsWhenTheManagerStarts) {
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, 0));
  std::shared_ptr<PowerManager> manager = PowerManager::Acquire(scope);
  uint32_t battery = 1, mains = 0;
  EXPECT_TRUE(registry.QueryDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, &battery));
  EXPECT_TRUE(registry.QueryDword(kPowerTimeoutsKey, kACSuspendTimeoutName, &mains));
  EXPECT_EQ(battery, 0u) << "a stored time-out is left as it is";
  EXPECT_EQ(mains, kDefaultACSuspendTimeout);
}

TEST_F(PowerBusTest, TheInhibitorOfAKilledProcessIsReleasedByTheKernel) {
  SetTimeouts(0, 0);
  char self[PATH_MAX] = {};
  ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
  testing::SpawnedProcess child;
  ASSERT_TRUE(child.Start({self, "--gtest_also_run_disabled_tests",
                           "--gtest_filter=PowerBusChild.DISABLED_HoldsTheInhibitorUntilKilled"},
                          3, folder.File("child.log"),
                          {std::string(kChildFolder) + "=" + folder.Path(), std::string(kChildEvent) + "=" + scope.reloadEventName}));
  std::string line;
  ASSERT_TRUE(child.ReadLine(&line, 20000)) << "see " << folder.File("child.log");
  ASSERT_EQ(line, "held");
  const QString number = LastInhibitorNumber(Login1Calls());
  ASSERT_FALSE(number.isEmpty());
  EXPECT_FALSE(Released(number));
  child.Stop(SIGKILL);
  EXPECT_TRUE(PumpUntil([&] { return Released(number); }));
  // The dead child's event is cleared away by the next manager of that name.
  PowerManager::Acquire(scope).reset();
  EXPECT_FALSE(SendReloadActivityTimeouts(scope));
}

// Runs only as the child of the test above: holds an inhibitor until killed.
TEST(PowerBusChild, DISABLED_HoldsTheInhibitorUntilKilled) {
  const char* folder = ::getenv(kChildFolder);
  const char* event = ::getenv(kChildEvent);
  if (!folder || !event) GTEST_SKIP() << "runs only as the child of TheInhibitorOfAKilledProcessIsReleasedByTheKernel";
  PowerScope scope{folder, event};
  std::shared_ptr<PowerManager> manager = PowerManager::Acquire(scope);
  ASSERT_TRUE(SendReloadActivityTimeouts(scope));
  ASSERT_TRUE(PumpUntil([&] { return manager->Inhibitor() == InhibitorState::Held; }, 10000));
  ASSERT_EQ(::write(3, "held\n", 5), 5);
  PumpUntil([] { return false; }, 60000);
}

}  // namespace
}  // namespace talvinor
