#include <gtest/gtest.h>

#include "command/CommandQueue.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

RefPtr<Command> Parse(const std::wstring& text) { return ParseCommand(text).command; }

template <typename T>
RefPtr<T> ParseAs(const std::wstring& text) {
  RefPtr<Command> command = Parse(text);
  return command ? QueryAs<T>(command.Get()) : nullptr;
}

CommandFailure FailureOf(const std::wstring& text) { return ParseCommand(text).failure; }

TEST(PostCommand, EachCmdValueMakesItsClass) {
  struct Case {
    const wchar_t* text;
    uint32_t code;
    CommandKind kind;
  } cases[] = {
      {L"/cmd:rec", 0x10000004, CommandKind::Rec},
      {L"/cmd:play /src:\"a.ogg\"", 0x10000005, CommandKind::Play},
      {L"/cmd:savememo", 0x10000006, CommandKind::SaveMemo},
      {L"/cmd:stop", 0x10000007, CommandKind::Stop},
      {L"/cmd:pause", 0x10000008, CommandKind::Pause},
      {L"/cmd:restart", 0x10000009, CommandKind::Restart},
      {L"/cmd:exit", 0x1000000A, CommandKind::Exit},
      {L"/cmd:hidewindow", 0x1000000B, CommandKind::HideWindow},
      {L"/cmd:openwindow", 0x1000000C, CommandKind::OpenWindow},
  };
  for (const auto& c : cases) {
    RefPtr<Command> command = Parse(c.text);
    ASSERT_TRUE(command) << c.text;
    EXPECT_EQ(command->GetTypeCode(), c.code);
    EXPECT_TRUE(command->IsKindOf(c.code));
    EXPECT_EQ(command->Kind(), c.kind);
  }
}

TEST(PostCommand, NamesAreCaseInsensitiveButValuesAreExact) {
  EXPECT_TRUE(ParseAs<StopCommand>(L"/CMD:stop"));
  EXPECT_TRUE(ParseAs<StopCommand>(L"/Cmd \t: \x3000 stop"));
  auto rec = ParseAs<RecCommand>(L"/cmd:rec /SCENE:3 /Toggle:1");
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->scene, 3);
  EXPECT_EQ(rec->toggle, 1);
  EXPECT_EQ(FailureOf(L"/cmd:REC"), CommandFailure::UnknownCmd);
  EXPECT_EQ(FailureOf(L"/cmd:\"Stop\""), CommandFailure::UnknownCmd);
  EXPECT_TRUE(ParseAs<StopCommand>(L"/cmd:\"stop\"")) << "a quoted value is a text like a bare word";
}

TEST(PostCommand, RecDefaultsAndIntegerParameters) {
  auto rec = ParseAs<RecCommand>(L"/cmd:rec");
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->scene, -1);
  EXPECT_EQ(rec->toggle, 0);
  EXPECT_EQ(rec->tel, 0);

  rec = ParseAs<RecCommand>(L"/cmd:rec /scene:2.0 /toggle:1.9 /tel:0x1");
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->scene, 2);
  EXPECT_EQ(rec->toggle, 1) << "fractions are cut to integers";
  EXPECT_EQ(rec->tel, 1);

  rec = ParseAs<RecCommand>(L"/cmd:rec /scene:two /toggle:\"1\"");
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->scene, -1) << "a text value keeps the default";
  EXPECT_EQ(rec->toggle, 0);

  rec = ParseAs<RecCommand>(L"/cmd:rec /scene:99999999999");
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->scene, -1) << "a value beyond 32 bits is no scene number";

  EXPECT_EQ(rec->Describe(), L"rec scene=-1 toggle=0 tel=0");
}

TEST(PostCommand, SignsAndOtherOperatorsMakeTheTextInvalid) {
  for (const wchar_t* text : {L"/cmd:rec /scene:-1", L"/cmd:rec /scene:+1", L"/cmd:rec /scene:~1",
                              L"/cmd:rec /scene:!0", L"/cmd:rec /scene:- 1"}) {
    EXPECT_EQ(FailureOf(text), CommandFailure::SyntaxError) << text;
  }
}

TEST(PostCommand, PlayNeedsAQuotedSrcWhoseBackslashesStay) {
  auto play = ParseAs<PlayCommand>(L"/cmd:play /src:\"\\My Documents\\a.ogg\"");
  ASSERT_TRUE(play);
  EXPECT_EQ(play->src, L"\\My Documents\\a.ogg");
  play = ParseAs<PlayCommand>(L"/cmd:play /src:\"C:\\new\\t\\\"");
  ASSERT_TRUE(play) << "a trailing backslash does not escape the closing quote";
  EXPECT_EQ(play->src, L"C:\\new\\t\\");

  EXPECT_EQ(FailureOf(L"/cmd:play"), CommandFailure::PlayWithoutSrc);
  EXPECT_EQ(FailureOf(L"/cmd:play /src:12"), CommandFailure::PlayWithoutSrc);
  EXPECT_EQ(FailureOf(L"/cmd:play /src:a.ogg"), CommandFailure::SyntaxError) << "a bare word cannot hold '.'";
  EXPECT_EQ(FailureOf(L"/cmd:play /src:\\a"), CommandFailure::SyntaxError);
  EXPECT_EQ(FailureOf(L"/cmd:play /src:\"/tmp/a.ogg"), CommandFailure::SyntaxError) << "unclosed quote";
  EXPECT_EQ(FailureOf(L"/cmd:play /src:\"a\nb\""), CommandFailure::SyntaxError);
}

TEST(PostCommand, TextsThatAreNotCommandsPlayThatFile) {
  struct Case {
    const wchar_t* text;
    const wchar_t* src;
  } cases[] = {
      {L"\\My Documents\\a.ogg", L"\\My Documents\\a.ogg"},
      {L"/home/me/rec/a b.ogg", L"/home/me/rec/a b.ogg"},
      {L"rz20240101.wav", L"rz20240101.wav"},
      {L"/tmp/x:y/a.ogg", L"/tmp/x:y/a.ogg"},
      {L" lead.ogg", L" lead.ogg"},
      {L"/home/me/録音.ogg", L"/home/me/録音.ogg"},
  };
  for (const auto& c : cases) {
    auto play = ParseAs<PlayCommand>(c.text);
    ASSERT_TRUE(play) << c.text;
    EXPECT_EQ(play->src, c.src);
  }
  // A path with a double quote cannot be put in a quoted text: refused, not misread.
  EXPECT_EQ(FailureOf(L"/home/me/say \"hi\".ogg"), CommandFailure::SyntaxError);
  // Nothing to play.
  EXPECT_EQ(FailureOf(L""), CommandFailure::MissingCmd);
  EXPECT_EQ(FailureOf(L" \t\x3000"), CommandFailure::MissingCmd);
}

TEST(PostCommand, MalformedTextsAreRefusedWhole) {
  EXPECT_EQ(FailureOf(L"/cmd:stop /cmd:rec"), CommandFailure::SyntaxError) << "repeated name";
  EXPECT_EQ(FailureOf(L"/cmd:rec /Scene:1 /scene:2"), CommandFailure::SyntaxError) << "repeated across case";
  EXPECT_EQ(FailureOf(L"/cmd:rec x"), CommandFailure::SyntaxError);
  EXPECT_EQ(FailureOf(L"/cmd:rec /"), CommandFailure::SyntaxError);
  EXPECT_EQ(FailureOf(L"/cmd:rec /toggle 1"), CommandFailure::SyntaxError);
  EXPECT_EQ(FailureOf(L"/cmd:"), CommandFailure::SyntaxError);
  EXPECT_EQ(FailureOf(L"/cmd:rec /1a:2"), CommandFailure::SyntaxError);
  EXPECT_EQ(FailureOf(L"/cmd:rec /scene:1.2.3"), CommandFailure::SyntaxError);
  EXPECT_EQ(FailureOf(L"/cmd:rec /scene:0x"), CommandFailure::SyntaxError);
  EXPECT_EQ(FailureOf(L"/cmd:rec /scene:12abc"), CommandFailure::SyntaxError);

  EXPECT_EQ(FailureOf(L"/scene:1"), CommandFailure::MissingCmd);
  EXPECT_EQ(FailureOf(L"/cmd:5"), CommandFailure::MissingCmd) << "cmd must be a text";
  EXPECT_EQ(FailureOf(L"/cmd:record"), CommandFailure::UnknownCmd);

  // Anything before the first '/' is ignored, as are unknown attributes.
  EXPECT_TRUE(ParseAs<StopCommand>(L"talvinor.exe /cmd:stop /extra:\"x\""));
}

TEST(PostCommand, QueueKeepsOrderAndRefusalsAddNothing) {
  RefPtr<CommandQueue> queue = Create<CommandQueue>();
  EXPECT_FALSE(PopCommand(queue.Get()));
  EXPECT_TRUE(PostCommand(queue.Get(), L"/cmd:rec /scene:1"));
  EXPECT_FALSE(PostCommand(queue.Get(), L"/cmd:rec /scene:-1"));
  EXPECT_FALSE(PostCommand(queue.Get(), L"/cmd:nothing"));
  EXPECT_TRUE(PostCommand(queue.Get(), L"/cmd:stop"));
  EXPECT_EQ(queue->Count(), 2u);
  RefPtr<Command> first = PopCommand(queue.Get());
  RefPtr<Command> second = PopCommand(queue.Get());
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->Kind(), CommandKind::Rec);
  EXPECT_EQ(second->Kind(), CommandKind::Stop);
  EXPECT_FALSE(PopCommand(queue.Get()));
}

TEST(PostCommand, TracesTheTextAndEachKindOfRefusal) {
  testing::TraceCapture trace;
  RefPtr<CommandQueue> queue = Create<CommandQueue>();
  PostCommand(queue.Get(), L"/cmd:rec /scene:-1");
  PostCommand(queue.Get(), L"/toggle:1");
  PostCommand(queue.Get(), L"/cmd:Rec");
  PostCommand(queue.Get(), L"/cmd:play");
  auto lines = trace.Lines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "PostCommand : \"/cmd:rec /scene:-1\"\r\n");
  EXPECT_EQ(lines[1], "PostCommand error : 0x00000104\r\n");
  EXPECT_EQ(lines[3], "PostCommand error : not found 'cmd'\r\n");
  EXPECT_EQ(lines[5], "PostCommand error : unknown cmd = Rec\r\n");
  EXPECT_EQ(lines[6], "PostCommand : \"/cmd:play\"\r\n") << "play without src traces nothing more";
}

}  // namespace
}  // namespace talvinor
