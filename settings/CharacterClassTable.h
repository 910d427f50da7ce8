#pragma once
#include <array>
#include <cstdint>

#include "core/RefPtr.h"

namespace talvinor {

// Character classes of the record tokenizer, one bit each.
enum CharacterClass : uint32_t {
  kClassUpper = 0x0001,       // 'A'-'Z'
  kClassLetter = 0x0002,      // 'A'-'Z', 'a'-'z'
  kClassLeadByte = 0x0004,    // lead byte of a CP932 double-byte character
  kClassBinary = 0x0010,      // '0', '1'
  kClassOctal = 0x0020,       // '0'-'7'
  kClassDecimal = 0x0040,     // '0'-'9'
  kClassHex = 0x0080,         // '0'-'9', 'A'-'F', 'a'-'f'
  kClassUnary = 0x0100,       // '!', '+', '-', '~'
  kClassPoint = 0x0200,       // '.'
  kClassNameStart = 0x1000,   // letters and '_'
  kClassNameFollow = 0x2000,  // letters, digits and '_'
};

// The 256-entry class table, built once and shared by every tokenizer through
// its singleton slot. Characters above 255 have no class bits. The table is
// never changed after construction, so any thread may read it.
class CharacterClassTable : public RefObject {
  TALVINOR_CLASS_CODES(0x18110)

 public:
  CharacterClassTable();

  // The shared table (singleton slot 16), created on first call.
  static RefPtr<CharacterClassTable> Get();

  uint32_t ClassOf(wchar_t c) const {
    auto code = static_cast<uint32_t>(c);
    return code < m_classes.size() ? m_classes[code] : 0;
  }
  bool Has(wchar_t c, uint32_t bits) const { return (ClassOf(c) & bits) != 0; }

 private:
  std::array<uint16_t, 256> m_classes{};
};

}  // namespace talvinor
