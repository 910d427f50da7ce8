#include "command/ChannelBlock.h"

#include <cstring>

namespace talvinor {

namespace {
constexpr uint8_t kMagic[4] = {'P', 'l', 'v', 'B'};
}

uint32_t ChannelBlock::Field(uint32_t offset) const {
  const uint8_t* p = m_data + offset;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void ChannelBlock::SetField(uint32_t offset, uint32_t value) {
  uint8_t* p = m_data + offset;
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

void ChannelBlock::Initialise() {
  std::memcpy(m_data + kMagicOffset, kMagic, 4);
  SetField(kCapacityOffset, kChannelCapacity);
  SetField(kLengthOffset, 0);
  SetField(kStateOffset, static_cast<uint32_t>(ChannelBlockState::Empty));
}

uint32_t ChannelBlock::SoundCapacity() const {
  if (!m_data || m_size < kChannelHeaderSize) return 0;
  if (std::memcmp(m_data + kMagicOffset, kMagic, 4) != 0) return 0;
  uint32_t capacity = Field(kCapacityOffset);
  // The header's own limit is 1 MiB, but a capacity beyond the mapped block
  // would have us copy past its end.
  if (capacity < 1 || capacity > kChannelMaxPayload || capacity > m_size - kChannelHeaderSize) return 0;
  return capacity;
}

bool ChannelBlock::Take(std::vector<uint8_t>* message) {
  uint32_t capacity = SoundCapacity();
  if (capacity == 0) return false;
  uint32_t length = Field(kLengthOffset);
  if (length == 0 || length > capacity) return false;
  if (Field(kStateOffset) != static_cast<uint32_t>(ChannelBlockState::Full)) return false;
  if (message) message->assign(m_data + kChannelHeaderSize, m_data + kChannelHeaderSize + length);
  SetField(kStateOffset, static_cast<uint32_t>(ChannelBlockState::Empty));
  SetField(kLengthOffset, 0);
  return true;
}

bool ChannelBlock::Put(const uint8_t* payload, uint32_t size) {
  uint32_t capacity = SoundCapacity();
  // A full block of length 0 could never be taken, so the channel would
  // stay blocked for good: an empty payload is refused.
  if (capacity == 0 || size == 0 || size > capacity) return false;
  if (Field(kStateOffset) != static_cast<uint32_t>(ChannelBlockState::Empty)) return false;
  std::memcpy(m_data + kChannelHeaderSize, payload, size);
  SetField(kLengthOffset, size);
  SetField(kStateOffset, static_cast<uint32_t>(ChannelBlockState::Full));
  return true;
}

bool ChannelBlock::IsFull() const {
  uint32_t capacity = SoundCapacity();
  if (capacity == 0) return false;
  uint32_t length = Field(kLengthOffset);
  return length != 0 && length <= capacity && Field(kStateOffset) == static_cast<uint32_t>(ChannelBlockState::Full);
}

bool ChannelBlock::IsSound() const {
  uint32_t capacity = SoundCapacity();
  if (capacity == 0) return false;
  uint32_t length = Field(kLengthOffset);
  switch (static_cast<ChannelBlockState>(Field(kStateOffset))) {
    case ChannelBlockState::Empty:
      return length == 0;
    case ChannelBlockState::Full:
      return length != 0 && length <= capacity;
  }
  return false;
}

}  // namespace talvinor
