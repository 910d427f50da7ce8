#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "command/CommandClient.h"
#include "support/Subprocess.h"

namespace talvinor {
namespace {

using testing::Subprocess;

std::unique_ptr<Subprocess> Cli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), TALVINOR_CLI_PATH);
  return std::make_unique<Subprocess>(arguments);
}

int RunCli(std::vector<std::string> arguments, std::string* errors = nullptr) {
  auto cli = Cli(std::move(arguments));
  int code = cli->Wait(30000);
  if (errors) *errors = cli->Errors();
  return code;
}

// Waits for the listener's first line; false when it could not serve.
bool StartedListening(Subprocess* listener) {
  std::string line;
  return listener->ReadLine(&line, 20000) && line == "listening on talvinor_extcmd_server";
}

std::string NextLines(Subprocess* listener, int count) {
  std::string lines, line;
  for (int i = 0; i < count && listener->ReadLine(&line, 20000); ++i) lines += line + "\n";
  return lines;
}

TEST(CliSendListen, SendDeliversWhatASecondStartWouldAndListenShowsTheCommand) {
  auto listener = Cli({"listen", "--count", "4"});
  ASSERT_TRUE(StartedListening(listener.get())) << listener->Errors();

  ASSERT_EQ(RunCli({"send", "/cmd:rec", "/toggle:1", "/scene:1"}), 0);
  EXPECT_EQ(NextLines(listener.get(), 2),
            "received \"/cmd:rec /toggle:1 /scene:1\" (56 bytes)\n"
            "  command 0x10000004: rec scene=1 toggle=1 tel=0\n");

  ASSERT_EQ(RunCli({"send", "/cmd:play", "/src:/home/me/録音 1.ogg"}), 0);
  EXPECT_EQ(NextLines(listener.get(), 2),
            "received \"/cmd:play /src:\"/home/me/録音 1.ogg\"\" (70 bytes)\n"
            "  command 0x10000005: play src=\"/home/me/録音 1.ogg\"\n");

  ASSERT_EQ(RunCli({"send", "/cmd:rec", "/scene:1", "/scene:2"}), 0) << "delivered; refused by the receiver";
  EXPECT_EQ(NextLines(listener.get(), 2),
            "received \"/cmd:rec /scene:1 /scene:2\" (54 bytes)\n"
            "  refused: syntax error 0x00000103\n");

  ASSERT_EQ(RunCli({"send"}), 0);
  EXPECT_EQ(NextLines(listener.get(), 2),
            "received \"\" (2 bytes)\n"
            "  empty: the window comes to the foreground\n");
  EXPECT_EQ(listener->Wait(20000), 0);
}

TEST(CliSendListen, SendFailsClearlyWhenNothingListensOrTheTextIsTooLong) {
  std::string errors;
  EXPECT_EQ(RunCli({"send", "/cmd:stop"}, &errors), 1);
  EXPECT_NE(errors.find("no running instance is listening"), std::string::npos) << errors;

  std::string longest = "/cmd:play /src:\"" + std::string(511 - 17, 'a') + "\"";
  EXPECT_EQ(RunCli({"send", longest + "b"}, &errors), 2);
  EXPECT_NE(errors.find("too long"), std::string::npos) << errors;

  auto listener = Cli({"listen", "--count", "1"});
  ASSERT_TRUE(StartedListening(listener.get())) << listener->Errors();
  EXPECT_EQ(RunCli({"send", longest}), 0);
  std::string line;
  ASSERT_TRUE(listener->ReadLine(&line, 20000));
  EXPECT_NE(line.find("(1024 bytes)"), std::string::npos) << line;
  EXPECT_EQ(listener->Wait(20000), 0);
}

TEST(CliSendListen, OneListenerAtATimeAndAnInterruptedOneLeavesNothingBehind) {
  auto first = Cli({"listen"});
  ASSERT_TRUE(StartedListening(first.get())) << first->Errors();
  auto second = Cli({"listen"});
  EXPECT_EQ(second->Wait(20000), 1);
  EXPECT_NE(second->Errors().find("cannot serve"), std::string::npos) << second->Errors();

  first->Signal(SIGINT);
  EXPECT_EQ(first->Wait(20000), 0);
  EXPECT_EQ(SendCommandText(L"/cmd:stop"), ChannelSendResult::NotOpen) << "its objects were removed";
}

}  // namespace
}  // namespace talvinor
