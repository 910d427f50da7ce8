#pragma once
#include <cstdint>
#include <vector>

namespace talvinor {

// The channel's base name; its objects carry the suffixes below.
inline constexpr const char* kCommandChannelName = "talvinor_extcmd_server";
inline constexpr const char* kChannelBlockSuffix = "_mem";      // message block
inline constexpr const char* kChannelSemaphoreSuffix = "_smp";  // guards the block
inline constexpr const char* kChannelWrittenSuffix = "_wev";    // set by a sender after writing
inline constexpr const char* kChannelReadySuffix = "_rev";      // set while the block may be written

// The message block: a 16-byte header ("PlvB", capacity, length, state, all
// little-endian) and the payload area.
inline constexpr uint32_t kChannelBlockSize = 1040;
inline constexpr uint32_t kChannelHeaderSize = 16;
inline constexpr uint32_t kChannelCapacity = 1024;
// Senders refuse anything larger outright; the block itself holds 1024 bytes.
inline constexpr uint32_t kChannelMaxPayload = 0x100000;

// The block's state word.
enum class ChannelBlockState : uint32_t {
  Empty = 1,  // may be written
  Full = 2,   // holds a message for the receiver
};

// Reads and writes the message block in place. Callers hold the channel's
// semaphore. Every header field is checked against the mapped size, since
// any process of the user can write the block.
class ChannelBlock {
 public:
  ChannelBlock(uint8_t* data, uint32_t size) : m_data(data), m_size(size) {}

  // Writes the header of an empty block.
  void Initialise();
  // Copies the waiting message into `message` (may be null: discarded) and
  // marks the block empty. False, with nothing changed, unless the header is
  // sound and the block is full.
  bool Take(std::vector<uint8_t>* message);
  // Copies `size` bytes in and marks the block full. False, with nothing
  // written, unless the header is sound, the block is empty and the payload
  // (1 byte at least) fits its capacity.
  bool Put(const uint8_t* payload, uint32_t size);
  // True when the header is sound and the block is full.
  bool IsFull() const;
  // True when the header describes a block the channel could have left: the
  // magic, a capacity that fits the mapping, and either the empty state with
  // length 0 or the full state with a length within the capacity. Anything
  // else was written by someone other than the channel's own code (or by a
  // process killed in the middle of it) and would block the channel for good.
  bool IsSound() const;

  uint32_t Field(uint32_t offset) const;
  void SetField(uint32_t offset, uint32_t value);

  static constexpr uint32_t kMagicOffset = 0;
  static constexpr uint32_t kCapacityOffset = 4;
  static constexpr uint32_t kLengthOffset = 8;
  static constexpr uint32_t kStateOffset = 12;

 private:
  // The capacity the header claims, when it is sound; 0 otherwise.
  uint32_t SoundCapacity() const;

  uint8_t* m_data;
  uint32_t m_size;
};

}  // namespace talvinor
