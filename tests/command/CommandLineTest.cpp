#include <gtest/gtest.h>

#include "command/ChannelBlock.h"
#include "command/ChannelText.h"
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

TEST(CommandLine, ABareRelativeFileIsMadeAbsoluteForTheRunningInstance) {
  EXPECT_EQ(CommandLine::ToCommandText({L"rec/a.ogg"}, L"/home/me"), L"/home/me/rec/a.ogg");
  EXPECT_EQ(CommandLine::ToCommandText({L"a.ogg"}, L"/"), L"/a.ogg");
  EXPECT_EQ(CommandLine::ToCommandText({L"/abs/a.ogg"}, L"/home/me"), L"/abs/a.ogg");
  EXPECT_EQ(CommandLine::ToCommandText({L"/cmd:stop"}, L"/home/me"), L"/cmd:stop");
  EXPECT_EQ(CommandLine::ToCommandText({}, L"/home/me"), L"");
}

TEST(ChannelText, IsUtf16LittleEndianWithItsTerminator) {
  EXPECT_EQ(ChannelText::Encode(L""), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(ChannelText::Encode(L"a録"), (std::vector<uint8_t>{'a', 0, 0x32, 0x93, 0, 0}));
  EXPECT_EQ(ChannelText::Encode(std::wstring(1, L'\U0001F3B5')).size(), 6u) << "a surrogate pair";
  EXPECT_EQ(ChannelText::Decode(ChannelText::Encode(L"/cmd:play /src:\"\U0001F3B5\"")), L"/cmd:play /src:\"\U0001F3B5\"");
  EXPECT_EQ(ChannelText::Decode({'a', 0, 0, 0, 'b', 0}), L"a") << "stops at the first zero";
  EXPECT_EQ(ChannelText::Decode({'a', 0, 'b'}), L"a") << "an odd byte is ignored";
}

TEST(ChannelBlock, LayoutAndOneMessageAtATime) {
  std::vector<uint8_t> memory(kChannelBlockSize, 0xEE);
  ChannelBlock block(memory.data(), kChannelBlockSize);
  block.Initialise();
  EXPECT_EQ(std::vector<uint8_t>(memory.begin(), memory.begin() + 16),
            (std::vector<uint8_t>{'P', 'l', 'v', 'B', 0x00, 0x04, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
  std::vector<uint8_t> out;
  EXPECT_FALSE(block.IsFull());
  EXPECT_FALSE(block.Take(&out));

  std::vector<uint8_t> payload(1024, 0x5A);
  ASSERT_TRUE(block.Put(payload.data(), 1024));
  EXPECT_EQ(block.Field(ChannelBlock::kLengthOffset), 1024u);
  EXPECT_EQ(block.Field(ChannelBlock::kStateOffset), 2u);
  EXPECT_FALSE(block.Put(payload.data(), 4)) << "full";
  ASSERT_TRUE(block.Take(&out));
  EXPECT_EQ(out, payload);
  EXPECT_EQ(block.Field(ChannelBlock::kLengthOffset), 0u);
  EXPECT_FALSE(block.Take(&out));

  payload.push_back(0);
  EXPECT_FALSE(block.Put(payload.data(), 1025)) << "over capacity";
  EXPECT_FALSE(block.Put(payload.data(), 0)) << "a full block of length 0 could never be taken";
  EXPECT_FALSE(block.IsFull());
}

// Any process of the user can write the block, so its header is not trusted.
TEST(ChannelBlock, ABadHeaderIsNeverFollowedOutsideTheBlock) {
  std::vector<uint8_t> memory(kChannelBlockSize, 0);
  ChannelBlock block(memory.data(), kChannelBlockSize);
  std::vector<uint8_t> out, payload(2000, 1);
  auto fullWith = [&](uint32_t capacity, uint32_t length) {
    block.Initialise();
    block.SetField(ChannelBlock::kCapacityOffset, capacity);
    block.SetField(ChannelBlock::kLengthOffset, length);
    block.SetField(ChannelBlock::kStateOffset, 2);
  };
  fullWith(0x100000, 0x100000);
  EXPECT_FALSE(block.Take(&out)) << "a capacity beyond the mapped block";
  EXPECT_FALSE(block.IsFull());
  fullWith(0x100000, 0);
  block.SetField(ChannelBlock::kStateOffset, 1);
  EXPECT_FALSE(block.Put(payload.data(), 2000));
  fullWith(0, 4);
  EXPECT_FALSE(block.Take(&out));
  fullWith(1024, 1025);
  EXPECT_FALSE(block.Take(&out));
  fullWith(1024, 4);
  block.SetField(ChannelBlock::kStateOffset, 3);
  EXPECT_FALSE(block.Take(&out));
  fullWith(1024, 4);
  memory[0] = 'X';
  EXPECT_FALSE(block.Take(&out));
  EXPECT_TRUE(out.empty());

  fullWith(1024, 4);
  ChannelBlock small(memory.data(), 8);
  EXPECT_FALSE(small.Take(&out)) << "a mapping shorter than the header";
}

}  // namespace
}  // namespace talvinor
