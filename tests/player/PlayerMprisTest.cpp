// The player page as the desktop's media controls drive it: its MPRIS
// service on a private session bus, with playerctl as the client.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "PlayerPageTestSupport.h"
#include "player/PlayerMediaControls.h"
#include "support/ShellRun.h"
#include "support/Subprocess.h"

namespace talvinor {
namespace {

using testing::PlayerPageFixture;

// Runs playerctl while the page keeps answering the bus.
std::string Playerctl(const std::vector<std::string>& args, int* status = nullptr) {
  std::vector<std::string> argv{"/usr/bin/playerctl", "-p", "talvinor"};
  argv.insert(argv.end(), args.begin(), args.end());
  testing::Subprocess run(argv);
  EXPECT_TRUE(testing::WaitUntil([&] { return !run.Running(); }, 15000));
  const int code = run.Wait(1000);
  if (status) *status = code;
  std::string out = run.Output();
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

class PlayerMprisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string cli = TALVINOR_CLI;
    const testing::ShellRun made = testing::RunShell(
        t.files.Path(), "sox -n -r 16000 -c 1 -b 16 tone.wav synth 20 sine 440 && '" + cli +
                            "' convert tone.wav a.ogg --tag 'TITLE=会議の録音' && mv tone.wav b.wav");
    ASSERT_EQ(made.status, 0) << made.err;
    ASSERT_TRUE(t.Make());
    std::string error;
    ASSERT_TRUE(t.page->StartMediaControls("", &error)) << error;
  }
  PlayerPageFixture t;
};

TEST_F(PlayerMprisTest, PlayerctlDrivesThePageAndSeesItsState) {
  int status = -1;
  EXPECT_EQ(Playerctl({"status"}, &status), "Stopped");
  EXPECT_EQ(status, 0);

  t.Select(L"a.ogg");
  Playerctl({"play"});
  ASSERT_TRUE(t.WaitForMessage(L"再生を開始しました。"));
  EXPECT_EQ(Playerctl({"status"}), "Playing");
  EXPECT_EQ(Playerctl({"metadata", "xesam:title"}), "会議の録音");
  EXPECT_EQ(Playerctl({"metadata", "mpris:length"}), "20000000");
  EXPECT_EQ(Playerctl({"metadata", "xesam:url"}), "file://" + t.files.Path() + "/a.ogg");
  const std::string track = Playerctl({"metadata", "mpris:trackid"});
  EXPECT_NE(track.find("/org/mpris/MediaPlayer2/talvinor/track/"), std::string::npos) << track;

  // Play-pause pauses with the page's own message, and again resumes.
  Playerctl({"play-pause"});
  ASSERT_TRUE(t.WaitForMessage(L"再生を一時停止しました。"));
  EXPECT_EQ(Playerctl({"status"}), "Paused");
  EXPECT_TRUE(t.page->ButtonOf(PlayerPage::kPause)->IsToggled());

  // Positions: set, then relative; the page's position follows.
  Playerctl({"position", "5"});
  EXPECT_EQ(t.page->Master()->GetPosition(), 5000u);
  EXPECT_EQ(Playerctl({"position"}), "5.000000");
  Playerctl({"position", "2+"});
  EXPECT_EQ(t.page->Master()->GetPosition(), 7000u);
  t.messages.clear();
  Playerctl({"play-pause"});
  ASSERT_TRUE(t.WaitForMessage(L"再生を再開しました。"));
  EXPECT_EQ(Playerctl({"status"}), "Playing");

  // Past the end while playing: the last millisecond, paused there.
  Playerctl({"position", "60+"});
  EXPECT_TRUE(t.page->Master()->IsState(MasterState::Paused));
  EXPECT_EQ(t.page->Master()->GetPosition(), 19999u);
  EXPECT_EQ(Playerctl({"status"}), "Paused");

  // A stop from the desktop is the page's stop, with its message.
  Playerctl({"stop"});
  ASSERT_TRUE(t.WaitForMessage(L"再生を停止しました。"));
  EXPECT_EQ(Playerctl({"status"}), "Stopped");
  EXPECT_EQ(t.page->Information()->GetText(), L"");
  t.messages.clear();
  Playerctl({"stop"});
  EXPECT_TRUE(t.WaitForMessage(L"既に停止しています。"));
}

TEST_F(PlayerMprisTest, NextAndPreviousPlayTheNeighbouringFiles) {
  t.Select(L"a.ogg");
  Playerctl({"next"});
  ASSERT_TRUE(t.WaitForMessage(L"再生を開始しました。"));
  std::wstring playing;
  t.page->Master()->GetFileName(&playing);
  EXPECT_EQ(playing, t.File(L"b.wav"));
  EXPECT_EQ(Playerctl({"metadata", "xesam:title"}), "b.wav");
  int status = 0;
  Playerctl({"next"}, &status);  // nothing after the last file
  t.page->Master()->GetFileName(&playing);
  EXPECT_EQ(playing, t.File(L"b.wav"));
  t.messages.clear();
  Playerctl({"previous"});
  ASSERT_TRUE(t.WaitForMessage(L"再生を開始しました。"));
  t.page->Master()->GetFileName(&playing);
  EXPECT_EQ(playing, t.File(L"a.ogg"));
}

TEST_F(PlayerMprisTest, ASecondServiceIsRefusedAndClosingThePageGivesTheNameBack) {
  PlayerMediaControls other(t.page.Get());
  std::string error;
  EXPECT_FALSE(other.Start("", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Playerctl({"status"}), "Stopped");  // the first still serves
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  EXPECT_TRUE(bus->isServiceRegistered("org.mpris.MediaPlayer2.talvinor"));
  t.page->OnClose();
  EXPECT_TRUE(testing::WaitUntil([&] { return !bus->isServiceRegistered("org.mpris.MediaPlayer2.talvinor"); }));
}

TEST(MediaTitle, TitleTagElseFileName) {
  EXPECT_EQ(PlayerMediaControls::TitleOf(L"/a/b.ogg", {{L"", L"ARTIST=x"}, {L"", L"title=会議"}}), L"会議");
  EXPECT_EQ(PlayerMediaControls::TitleOf(L"/a/b.spx", {{L"Comment", L"v"}, {L"TITLE", L"t"}}), L"t");
  EXPECT_EQ(PlayerMediaControls::TitleOf(L"/a/b.spx", {{L"", L"TITLE="}, {L"SUBTITLE", L"s"}}), L"b.spx");
  EXPECT_EQ(PlayerMediaControls::TitleOf(L"/a/b.wav", {}), L"b.wav");
}

}  // namespace
}  // namespace talvinor
