#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "app/Application.h"
#include "app/FrameTestSupport.h"
#include "app/ProgramPages.h"
#include "command/ChannelText.h"
#include "command/CommandServer.h"
#include "platform/window/HeadlessMessageQueue.h"
#include "settings/ConfigStore.h"
#include "support/ScriptedMessageBox.h"

namespace talvinor {
namespace {

using testing::ScriptedMessageBox;
using testing::TempFolder;
using testing::UniqueName;
using testing::WaitUntil;

// Options for an instance of the test's own, in a program folder of its own.
struct TestInstance {
  TempFolder folder;
  ApplicationOptions options;
  std::vector<int> quits;

  TestInstance() {
    // The user's folders are the test's own: the default recording folder
    // is made in the music folder of this home.
    SaveEnvironment("HOME", &home);
    SaveEnvironment("XDG_CONFIG_HOME", &configHome);
    ::setenv("HOME", folder.Path().c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    OverrideProgramFolder(folder.WPath());
    options.instanceKey = UniqueName("instance");
    options.channelName = UniqueName("channel");
    options.sizeClass = 17;
    options.quit = [this](int code) { quits.push_back(code); };
    options.devices = Create<FixedWaveDeviceQuery>(1u, 1u, 0x0FFFu);  // every standard format
    options.mediaControls = false;  // never on the bus of the session running the tests
  }
  ~TestInstance() {
    OverrideProgramFolder(L"");
    RestoreEnvironment("HOME", home);
    RestoreEnvironment("XDG_CONFIG_HOME", configHome);
  }

  static void SaveEnvironment(const char* name, std::optional<std::string>* value) {
    const char* now = std::getenv(name);
    if (now) *value = now;
  }
  static void RestoreEnvironment(const char* name, const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  std::optional<std::string> home;
  std::optional<std::string> configHome;
};

// The receiving end of a running instance's channel, without a window.
struct ChannelEnd {
  HeadlessMessageQueue window;
  RefPtr<CommandServer> server;
  explicit ChannelEnd(const std::string& name) : server(Create<CommandServer>(name)) {
    server->SetTarget(window.Id(), kWmTakeChannelMessage);
    EXPECT_TRUE(server->StartServer());
  }
  ~ChannelEnd() { server->StopServer(); }
  std::optional<std::vector<uint8_t>> Take() {
    if (!window.TakeMessage(kWmTakeChannelMessage, 5000)) return std::nullopt;
    std::vector<uint8_t> message;
    if (!server->Receive(&message)) return std::nullopt;
    return message;
  }
};

TEST(Application, ASecondStartForwardsItsWholeCommandLineAndGoesNoFurther) {
  TestInstance instance;
  InstanceLock running;
  ASSERT_EQ(running.Acquire(instance.options.instanceKey), InstanceLockResult::Acquired);
  ChannelEnd channel(instance.options.channelName);

  for (const std::wstring& text : {std::wstring(L"/cmd:rec /toggle:1 /scene:1"), std::wstring()}) {
    auto second = Create<Application>(instance.options);
    EXPECT_FALSE(second->Init(text));
    EXPECT_EQ(second->State(), StartState::Forwarded);
    EXPECT_EQ(second->ForwardResult(), ChannelSendResult::Sent);
    EXPECT_FALSE(second->Frame()->IsCreated());
    std::optional<std::vector<uint8_t>> got = channel.Take();
    ASSERT_TRUE(got);
    // UTF-16 with its terminator: an empty text is two zero bytes.
    EXPECT_EQ(*got, ChannelText::Encode(text));
    EXPECT_EQ(got->size(), (text.size() + 1) * 2);
  }
}

TEST(Application, ASecondStartWaitsForAStartingInstanceAndTakesOverFromOneThatEnded) {
  TestInstance instance;
  instance.options.forwardWaitMs = 300;
  auto running = std::make_unique<InstanceLock>();
  ASSERT_EQ(running->Acquire(instance.options.instanceKey), InstanceLockResult::Acquired);

  // Held, and never a channel: the start gives up after its wait.
  auto second = Create<Application>(instance.options);
  EXPECT_FALSE(second->Init(L"/cmd:stop"));
  EXPECT_EQ(second->ForwardResult(), ChannelSendResult::NotOpen);

  // The holder ends while the start waits: it becomes the running instance.
  instance.options.forwardWaitMs = 5000;
  std::thread ending([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    running.reset();
  });
  auto third = Create<Application>(instance.options);
  EXPECT_TRUE(third->Init(L"/cmd:stop"));
  ending.join();
  EXPECT_EQ(third->State(), StartState::FirstInstance);
  // And it holds the key now.
  InstanceLock probe;
  EXPECT_EQ(probe.Acquire(instance.options.instanceKey), InstanceLockResult::HeldElsewhere);
  EXPECT_FALSE(third->Init(L"")) << "a second Init is refused";
}

TEST(Application, ADamagedSettingsFileIsReportedAndTheDefaultsAreUsed) {
  TestInstance instance;
  {
    std::ofstream ini(instance.folder.File("talvinor.ini"), std::ios::binary);
    ini << "m_RecPath = {{{ not a settings record";
  }
  ASSERT_EQ(LoadConfigFile(instance.folder.WFile(L"talvinor.ini"), Create<CONFIG>().Get()),
            ConfigLoadResult::Malformed);
  ScriptedMessageBox boxes;
  auto app = Create<Application>(instance.options);
  ASSERT_TRUE(app->Init(L""));
  ASSERT_TRUE(app->Start());
  ASSERT_EQ(boxes.Requests().size(), 1u);
  EXPECT_EQ(boxes.Requests()[0].text, L"設定ファイルを読めませんでした。ファイルが破損している可能性があります。");
  EXPECT_EQ(boxes.Requests()[0].caption, L"TALVINOR");
  EXPECT_EQ(boxes.Requests()[0].flags, 0x30u);
  // Defaults, with the empty folders filled with "Talvinor" in the music
  // folder (made now), never the program folder.
  EXPECT_EQ(GetConfig()->m_RecPath, instance.folder.WPath() + L"/Music/Talvinor");
  EXPECT_EQ(GetConfig()->m_MemoPath, instance.folder.WPath() + L"/Music/Talvinor");
  EXPECT_TRUE(std::filesystem::is_directory(instance.folder.File("Music/Talvinor")));
  EXPECT_EQ(GetConfig()->m_MemoSrcFile, L"shrec%d.wav");
  EXPECT_TRUE(app->Frame()->IsCreated());
  EXPECT_TRUE(app->Frame()->Widget()->window()->isVisible());
  // One master of each kind, idle, for the whole run.
  ASSERT_TRUE(app->RecordingMaster() && app->PlaybackMaster() && app->ConversionMaster());
  EXPECT_TRUE(app->RecordingMaster()->IsState(MasterState::Closed));
  app->Teardown();
}

TEST(Application, AMissingSettingsFileIsNoFailureAndTeardownReleasesEverything) {
  TestInstance instance;
  ScriptedMessageBox boxes;
  auto app = Create<Application>(instance.options);
  ASSERT_TRUE(app->Init(L""));
  ASSERT_TRUE(app->Start());
  EXPECT_TRUE(boxes.Requests().empty());
  EXPECT_TRUE(GetSingletonObject(static_cast<int>(SingletonSlot::Settings)));
  EXPECT_TRUE(GetSingletonObject(static_cast<int>(SingletonSlot::SkinFirst)));
  RefPtr<FrameWindow> frame(app->Frame());

  app->Teardown();
  EXPECT_FALSE(frame->IsCreated());
  EXPECT_EQ(app->Frame(), nullptr);
  EXPECT_FALSE(app->RecordingMaster() || app->PlaybackMaster() || app->ConversionMaster());
  for (int slot = 0; slot < kSingletonSlotCount; ++slot) EXPECT_FALSE(GetSingletonObject(slot)) << slot;
  InstanceLock next;
  EXPECT_EQ(next.Acquire(instance.options.instanceKey), InstanceLockResult::Acquired) << "the key was given back";
  app->Teardown();  // twice is harmless
}

TEST(Application, EveryPageIsMadeWithTheRunsMastersTheFrameAndItsCommandQueue) {
  TestInstance instance;
  std::vector<PageContext> contexts;
  instance.options.pages = [&](PageId id, const PageContext& context) {
    contexts.push_back(context);
    return MakeProgramPage(id, context);
  };
  auto app = Create<Application>(instance.options);
  ASSERT_TRUE(app->Init(L""));
  ASSERT_TRUE(app->Start());
  ASSERT_EQ(contexts.size(), static_cast<size_t>(kPageCount));
  ASSERT_TRUE(app->RecordingMaster() && app->PlaybackMaster() && app->ConversionMaster());
  for (const PageContext& context : contexts) {
    EXPECT_EQ(context.recordingMaster.Get(), app->RecordingMaster().Get());
    EXPECT_EQ(context.playbackMaster.Get(), app->PlaybackMaster().Get());
    EXPECT_EQ(context.conversionMaster.Get(), app->ConversionMaster().Get());
    EXPECT_EQ(context.host, static_cast<PageHost*>(app->Frame()));
    EXPECT_EQ(context.commands.Get(), app->Frame()->Queue());
  }
  contexts.clear();
  app->Teardown();
}

TEST(Application, AnExitOnTheCommandLineEndsTheLoopInOrder) {
  TestInstance instance;
  auto app = Create<Application>(instance.options);
  ASSERT_TRUE(app->Init(L"/cmd:exit"));
  ASSERT_TRUE(app->Start());
  ASSERT_TRUE(WaitUntil([&] { return !instance.quits.empty(); }));
  EXPECT_EQ(instance.quits, std::vector<int>{0});
  EXPECT_FALSE(app->Frame()->IsCreated());
  app->Teardown();
}

}  // namespace
}  // namespace talvinor
