#include <gtest/gtest.h>

#include "command/CommandLine.h"
#include "command/CommandQueue.h"

namespace talvinor {
namespace {

TEST(CommandLine, CommandTextsAreToldFromFilePaths) {
  for (const wchar_t* text : {L"/cmd:rec", L"  /cmd:rec", L"/cmd :rec", L"/CMD\t:stop", L"junk /cmd:stop", L"/x:"})
    EXPECT_TRUE(CommandLine::IsCommandText(text)) << text;
  for (const wchar_t* text : {L"", L"a.ogg", L"/home/me/a.ogg", L"~/rec/a.ogg", L"/a b:c", L"/ cmd:rec",
                              L"\\My Documents\\a.ogg", L"/1cmd:rec"})
    EXPECT_FALSE(CommandLine::IsCommandText(text)) << text;
}

TEST(CommandLine, JoinQuotesOnlyValuesThatWouldNotReadBack) {
  EXPECT_EQ(CommandLine::Join({}), L"");
  EXPECT_EQ(CommandLine::Join({L"/cmd:rec", L"/toggle:1", L"/scene:1"}), L"/cmd:rec /toggle:1 /scene:1");
  EXPECT_EQ(CommandLine::Join({L"/cmd:play", L"/src:/home/me/a b.ogg"}), L"/cmd:play /src:\"/home/me/a b.ogg\"");
  EXPECT_EQ(CommandLine::Join({L"/src:\"/already quoted\""}), L"/src:\"/already quoted\"");
  EXPECT_EQ(CommandLine::Join({L"/scene:2.5", L"/scene:0x1F", L"/scene:-1"}), L"/scene:2.5 /scene:0x1F /scene:\"-1\"");
  EXPECT_EQ(CommandLine::Join({L"/src:"}), L"/src:\"\"");
  EXPECT_EQ(CommandLine::Join({L"/src:say \"hi\""}), L"/src:say \"hi\"") << "cannot be quoted; left to fail";
  EXPECT_EQ(CommandLine::Join({L"/home/me/a", L"b.ogg"}), L"/home/me/a b.ogg");
  EXPECT_EQ(CommandLine::Join({L"", L"x"}), L" x");
}

TEST(CommandLine, JoinedArgumentsReadBackAsTyped) {
  const wchar_t* paths[] = {L"/home/me/a b.ogg", L"/home/me/録音 1.spx", L"C:\\dir\\x.wav", L"/t/a'b.ogg",
                            L"/t/end\\", L"/t/x:y.ogg"};
  for (const wchar_t* path : paths) {
    std::wstring text = CommandLine::Join({L"/cmd:play", std::wstring(L"/src:") + path});
    CommandParseResult result = ParseCommand(text);
    ASSERT_TRUE(result.command) << text;
    EXPECT_EQ(QueryAs<PlayCommand>(result.command.Get())->src, path);
  }
}

// A launcher or a script often hands the whole text over as one quoted word.
TEST(CommandLine, AWholeCommandTextInOneArgumentIsPassedOnAsItIs) {
  const std::wstring rec = L"/cmd:rec /toggle:1 /scene:1";
  EXPECT_EQ(CommandLine::Join({rec}), rec);
  EXPECT_EQ(CommandLine::ToCommandText({rec}, L"/home/me"), rec);
  EXPECT_EQ(CommandLine::Join({L"/cmd:rec /toggle :1\t/scene:2", L"/tel:1"}), L"/cmd:rec /toggle :1\t/scene:2 /tel:1");
  EXPECT_EQ(CommandLine::Join({L"/cmd:play /src:\"/tmp/a b.ogg\""}), L"/cmd:play /src:\"/tmp/a b.ogg\"");

  // Both spellings make the same command.
  for (const std::vector<std::wstring>& arguments :
       {std::vector<std::wstring>{rec}, std::vector<std::wstring>{L"/cmd:rec", L"/toggle:1", L"/scene:1"}}) {
    CommandParseResult result = ParseCommand(CommandLine::ToCommandText(arguments, L"/home/me"));
    ASSERT_TRUE(result.command) << result.text;
    RefPtr<RecCommand> command = QueryAs<RecCommand>(result.command.Get());
    ASSERT_TRUE(command);
    EXPECT_EQ(command->scene, 1);
    EXPECT_EQ(command->toggle, 1);
  }
}

TEST(CommandLine, APathWithBlanksIsStillQuotedWhenNoFurtherAttributeFollows) {
  // A '/' after a blank that starts no "/name:" is part of the path.
  for (const wchar_t* path : {L"/tmp/a b.ogg", L"/tmp/my dir/x.ogg", L"/tmp/a /b.ogg", L"/tmp/a /b c:d.ogg",
                              L"/tmp/x /1:y.ogg"}) {
    std::wstring text = CommandLine::ToCommandText({L"/cmd:play", std::wstring(L"/src:") + path}, L"/home/me");
    EXPECT_EQ(text, std::wstring(L"/cmd:play /src:\"") + path + L"\"");
    CommandParseResult result = ParseCommand(text);
    ASSERT_TRUE(result.command) << text;
    EXPECT_EQ(QueryAs<PlayCommand>(result.command.Get())->src, path);
  }
  // Given as one word with its quotes, the path arrives whole as well.
  CommandParseResult result =
      ParseCommand(CommandLine::ToCommandText({L"/cmd:play /src:\"/tmp/a b /c:d.ogg\""}, L"/home/me"));
  ASSERT_TRUE(result.command);
  EXPECT_EQ(QueryAs<PlayCommand>(result.command.Get())->src, L"/tmp/a b /c:d.ogg");
  // Unquoted inside one word, it is the user's text and is refused, not guessed at.
  EXPECT_FALSE(ParseCommand(CommandLine::ToCommandText({L"/cmd:play /src:/tmp/a b.ogg"}, L"/home/me")).command);
}

TEST(CommandLine, ABareRelativeFileIsMadeAbsoluteForTheRunningInstance) {
  EXPECT_EQ(CommandLine::ToCommandText({L"rec/a.ogg"}, L"/home/me"), L"/home/me/rec/a.ogg");
  EXPECT_EQ(CommandLine::ToCommandText({L"a.ogg"}, L"/"), L"/a.ogg");
  EXPECT_EQ(CommandLine::ToCommandText({L"/abs/a.ogg"}, L"/home/me"), L"/abs/a.ogg");
  EXPECT_EQ(CommandLine::ToCommandText({L"/cmd:stop"}, L"/home/me"), L"/cmd:stop");
  EXPECT_EQ(CommandLine::ToCommandText({}, L"/home/me"), L"");
}

}  // namespace
}  // namespace talvinor
