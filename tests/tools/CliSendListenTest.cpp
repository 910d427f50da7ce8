#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "command/CommandClient.h"
#include "support/Subprocess.h"

namespace talvinor {
namespace {

using testing::Subprocess;

// Under an English locale, whatever the test's own is.
std::unique_ptr<Subprocess> Cli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"/usr/bin/env", "LC_ALL=C.UTF-8", TALVINOR_CLI_PATH});
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

  // The whole text as one argument arrives as it was written.
  ASSERT_EQ(RunCli({"send", "/cmd:rec /toggle:1 /scene:1"}), 0);
  EXPECT_EQ(NextLines(listener.get(), 2),
            "received \"/cmd:rec /toggle:1 /scene:1\" (56 bytes)\n"
            "  command 0x10000004: rec scene=1 toggle=1 tel=0\n");

  ASSERT_EQ(RunCli({"send"}), 0);
  EXPECT_EQ(NextLines(listener.get(), 2),
            "received \"\" (2 bytes)\n"
            "  empty: the window comes to the foreground\n");
  EXPECT_EQ(listener->Wait(20000), 0);
}

// A text the program would refuse never leaves: the sender learns why.
TEST(CliSendListen, SendRefusesWhatTheProgramWouldRefuseWithTheParsersReason) {
  auto listener = Cli({"listen", "--count", "1"});
  ASSERT_TRUE(StartedListening(listener.get())) << listener->Errors();
  struct Case {
    std::vector<std::string> words;
    const char* reason;
  };
  const Case cases[] = {
      {{"send", "/cmd:rec", "/scene:1", "/scene:2"}, "an attribute is given twice (0x00000103)"},
      {{"send", "/cmd:rec /scene:-1"}, "not a bare word, an unsigned number or a quoted text (0x00000104)"},
      {{"send", "/cmd:REC"}, "/cmd: names no command"},
      {{"send", "/cmd:play"}, "play needs a /src: text"},
      {{"send", "/scene:1"}, "there is no /cmd: text"},
      {{"send", "/cmd:play /src:/tmp/a b.ogg"}, "(0x00000104)"},
  };
  for (const Case& c : cases) {
    std::string errors;
    EXPECT_EQ(RunCli(c.words, &errors), 2) << c.words[1];
    EXPECT_EQ(errors.rfind("talvinor-cli send: the command text cannot be used: ", 0), 0u) << errors;
    EXPECT_NE(errors.find(c.reason), std::string::npos) << errors;
  }
  // In Japanese, with the program's own words for it.
  auto japanese = std::make_unique<Subprocess>(std::vector<std::string>{
      "/usr/bin/env", "LC_ALL=ja_JP.UTF-8", TALVINOR_CLI_PATH, "send", "/cmd:rec", "/cmd:stop"});
  EXPECT_EQ(japanese->Wait(30000), 2);
  EXPECT_EQ(japanese->Errors().rfind("talvinor-cli send: 外部コマンドは記述誤りにより実行できません。同じ属性が二度あります", 0),
            0u)
      << japanese->Errors();
  // Nothing of that reached the listener; the next good text is its first.
  ASSERT_EQ(RunCli({"send", "/cmd:stop"}), 0);
  std::string line;
  ASSERT_TRUE(listener->ReadLine(&line, 20000));
  EXPECT_EQ(line, "received \"/cmd:stop\" (20 bytes)");
  EXPECT_EQ(listener->Wait(20000), 0);
}

TEST(CliSendListen, VersionAndUnknownSubcommandsAnswerPlainly) {
  for (const char* option : {"--version", "-V"}) {
    auto cli = Cli({option});
    EXPECT_EQ(cli->Wait(30000), 0);
    EXPECT_EQ(cli->Output(), "talvinor-cli 0.1\n");
  }
  std::string errors;
  EXPECT_EQ(RunCli({"sned", "/cmd:stop"}, &errors), 2);
  EXPECT_EQ(errors, "talvinor-cli: unknown subcommand 'sned'\nSee 'talvinor-cli --help' for the subcommands.\n");
  auto japanese = std::make_unique<Subprocess>(
      std::vector<std::string>{"/usr/bin/env", "LC_ALL=", "LANG=ja_JP.UTF-8", TALVINOR_CLI_PATH, "sned"});
  EXPECT_EQ(japanese->Wait(30000), 2);
  EXPECT_EQ(japanese->Errors().rfind("talvinor-cli: 'sned' というサブコマンドはありません\n", 0), 0u) << japanese->Errors();
  // The help itself, headings included, follows the language.
  auto help = Cli({"--help"});
  EXPECT_EQ(help->Wait(30000), 0);
  EXPECT_EQ(help->Output().rfind("talvinor-cli: convert, inspect, record, play and send commands to Talvinor.\n", 0), 0u);
  auto helpJapanese = std::make_unique<Subprocess>(
      std::vector<std::string>{"/usr/bin/env", "LC_ALL=ja_JP.UTF-8", TALVINOR_CLI_PATH, "send", "--help"});
  EXPECT_EQ(helpJapanese->Wait(30000), 0);
  EXPECT_EQ(helpJapanese->Output().rfind("動いている Talvinor にコマンド文を送る", 0), 0u) << helpJapanese->Output();
  EXPECT_NE(helpJapanese->Output().find("\nオプション:\n"), std::string::npos) << helpJapanese->Output();
  EXPECT_EQ(helpJapanese->Output().find("Options"), std::string::npos) << helpJapanese->Output();

  // A wrong option of a known subcommand is a usage error too.
  EXPECT_EQ(RunCli({"send", "--bogus"}, &errors), 2);
  EXPECT_NE(errors.find("talvinor-cli --help"), std::string::npos) << errors;
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
