#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <random>

#include "command/CommandLine.h"
#include "command/CommandQueue.h"
#include "platform/Unicode.h"

namespace talvinor {
namespace {

// Characters that matter to the syntax, weighted toward the troublesome.
const std::wstring kAlphabet = L"//////::::\"\"\"\\\\ \t\r\n\x3000..--+~!_0123456789xXbBoOabcdeCMDrecplaysrcscenetoggle"
                               L"\x00e9\x3042\xFFFF\x00ff\x0100";

const wchar_t* kSeeds[] = {
    L"/cmd:rec /toggle:1 /scene:1",
    L"/cmd:play /src:\"\\My Documents\\a.ogg\"",
    L"/cmd:rec /scene:2.0 /tel:0x1 /toggle:0b1",
    L"/CMD : stop",
    L"/home/me/rec/a b.ogg",
    L"/cmd:savememo",
};

// Either a command (and no failure) or a failure (and no command); the same
// text always gives the same answer.
void CheckOne(const std::wstring& text) {
  CommandParseResult result = ParseCommand(text);
  if (result.command) {
    ASSERT_EQ(result.failure, CommandFailure::None);
    ASSERT_TRUE(result.command->IsKindOf(result.command->GetTypeCode()));
  } else {
    ASSERT_NE(result.failure, CommandFailure::None);
  }
  CommandParseResult again = ParseCommand(text);
  ASSERT_EQ(again.failure, result.failure);
  ASSERT_EQ(again.parseError, result.parseError);
  if (result.command) {
    ASSERT_EQ(again.command->Describe(), result.command->Describe());
  }
}

TEST(CommandFuzz, RandomAndMutatedTextsAreACommandOrACleanFailure) {
  std::mt19937 random(20240611);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  int commands = 0;
  constexpr int kRounds = 40000;
  for (int round = 0; round < kRounds; ++round) {
    std::wstring text;
    if (round % 2 == 0) {
      size_t length = pick(40);
      for (size_t i = 0; i < length; ++i) text += kAlphabet[pick(kAlphabet.size())];
      if (pick(8) == 0) text.insert(pick(text.size() + 1), 1, L'\0');
    } else {
      text = kSeeds[pick(std::size(kSeeds))];
      for (size_t edits = 1 + pick(4); edits > 0; --edits) {
        size_t at = pick(text.size() + 1);
        switch (pick(4)) {
          case 0:
            text.insert(at, 1, kAlphabet[pick(kAlphabet.size())]);
            break;
          case 1:
            if (at < text.size()) text.erase(at, 1);
            break;
          case 2:
            if (at < text.size()) text[at] = kAlphabet[pick(kAlphabet.size())];
            break;
          default:
            text.insert(at, text.substr(pick(text.size() + 1), pick(6)));
            break;
        }
      }
    }
    SCOPED_TRACE(round);
    CheckOne(text);
    if (ParseCommand(text).command) ++commands;
    if (::testing::Test::HasFatalFailure()) return;
  }
  // The mutations keep enough texts valid that both outcomes were exercised.
  EXPECT_GT(commands, kRounds / 20);
  EXPECT_LT(commands, kRounds);
}

// Random attribute lists written in the language read back as written.
TEST(CommandFuzz, GeneratedRecCommandsReadBackTheirParameters) {
  std::mt19937 random(7);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const wchar_t* blanks[] = {L" ", L"\t", L"\x3000", L"  \r\n"};
  for (int round = 0; round < 5000; ++round) {
    int scene = pick(100000), toggle = pick(3), tel = pick(3);
    std::vector<std::wstring> items = {L"/cmd:rec", L"/scene:" + std::to_wstring(scene),
                                       L"/toggle:" + std::to_wstring(toggle) + (pick(2) ? L".9" : L""),
                                       L"/tel:\"" + std::to_wstring(tel) + L"\""};
    std::shuffle(items.begin(), items.end(), random);
    std::wstring text;
    for (auto& item : items) {
      if (pick(2)) item[1] = static_cast<wchar_t>(std::towupper(item[1]));
      text += item + blanks[pick(4)];
    }
    RefPtr<Command> command = ParseCommand(text).command;
    ASSERT_TRUE(command) << round;
    auto rec = QueryAs<RecCommand>(command.Get());
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->scene, scene);
    EXPECT_EQ(rec->toggle, toggle);
    EXPECT_EQ(rec->tel, 0) << "a quoted number is a text and keeps the default";
  }
}

// Any path the shell may pass, joined back, plays exactly that path; a path
// the language cannot carry is refused, never turned into another file. A
// value holding a blank, '/', a name and ':' is taken for a whole command
// text given as one argument and passed on unquoted: such a path is refused
// too (an unquoted value cannot start with '/'), never played as another file.
TEST(CommandFuzz, JoinedPlayArgumentsNameExactlyTheGivenFile) {
  std::mt19937 random(99);
  const std::wstring characters = L"/ab c.\\:'\"-_\x3042\x3000\t0";
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  for (int round = 0; round < 5000; ++round) {
    std::wstring path = L"/";
    for (size_t length = pick(20); length > 0; --length) path += characters[pick(characters.size())];
    std::wstring text = CommandLine::Join({L"/cmd:play", L"/src:" + path});
    CommandParseResult result = ParseCommand(text);
    if (path.find(L'"') != std::wstring::npos) {
      EXPECT_FALSE(result.command) << WideToUtf8(text);
      continue;
    }
    if (text == L"/cmd:play /src:" + path) {  // passed on as command text: a bare '/' value is refused
      EXPECT_FALSE(result.command) << WideToUtf8(text);
      continue;
    }
    ASSERT_TRUE(result.command) << WideToUtf8(text);
    EXPECT_EQ(QueryAs<PlayCommand>(result.command.Get())->src, path);
  }
}

}  // namespace
}  // namespace talvinor
