#include "command/ChannelText.h"

#include "platform/Unicode.h"

namespace talvinor {

std::vector<uint8_t> ChannelText::Encode(const std::wstring& text) {
  std::u16string units = WideToUtf16(text);
  std::vector<uint8_t> bytes;
  bytes.reserve((units.size() + 1) * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::wstring ChannelText::Decode(const std::vector<uint8_t>& bytes) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == 0) break;
    units.push_back(unit);
  }
  return Utf16ToWide(units);
}

}  // namespace talvinor
