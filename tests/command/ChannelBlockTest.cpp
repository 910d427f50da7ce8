#include <gtest/gtest.h>

#include "command/ChannelBlock.h"

namespace talvinor {
namespace {

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
