#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace talvinor {

// The channel carries a command text as UTF-16LE with its terminating zero,
// (characters + 1) x 2 bytes.
class ChannelText {
 public:
  static std::vector<uint8_t> Encode(const std::wstring& text);
  // The text up to the first zero unit; an odd last byte is ignored.
  static std::wstring Decode(const std::vector<uint8_t>& bytes);
};

}  // namespace talvinor
