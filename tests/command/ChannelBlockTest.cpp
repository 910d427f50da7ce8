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

// Only the two states the channel writes are sound; anything else would
// leave the block unusable, so the server resets it.
TEST(ChannelBlock, OnlyAnEmptyOrAFullBlockWithItsLengthIsSound) {
  std::vector<uint8_t> memory(kChannelBlockSize, 0);
  ChannelBlock block(memory.data(), kChannelBlockSize);
  EXPECT_FALSE(block.IsSound()) << "all zeros: no magic";
  block.Initialise();
  EXPECT_TRUE(block.IsSound());
  uint8_t payload[6] = {'/', 0, 'x', 0, 0, 0};
  ASSERT_TRUE(block.Put(payload, 6));
  EXPECT_TRUE(block.IsSound());

  struct Forged {
    uint32_t capacity, length, state;
  };
  for (Forged f : {Forged{1024, 0, 2}, Forged{1024, 5, 1}, Forged{1024, 1025, 2}, Forged{1024, 4, 0},
                   Forged{1024, 4, 3}, Forged{kChannelBlockSize, 4, 2}, Forged{0, 0, 1}}) {
    block.Initialise();
    block.SetField(ChannelBlock::kCapacityOffset, f.capacity);
    block.SetField(ChannelBlock::kLengthOffset, f.length);
    block.SetField(ChannelBlock::kStateOffset, f.state);
    EXPECT_FALSE(block.IsSound()) << f.capacity << " " << f.length << " " << f.state;
  }
  // A smaller capacity than ours still describes a usable block.
  block.Initialise();
  block.SetField(ChannelBlock::kCapacityOffset, 16);
  EXPECT_TRUE(block.IsSound());
}

}  // namespace
}  // namespace talvinor
