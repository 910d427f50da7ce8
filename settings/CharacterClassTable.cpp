#include "settings/CharacterClassTable.h"

#include "core/Singletons.h"
#include "platform/CodePage.h"

namespace talvinor {

CharacterClassTable::CharacterClassTable() {
  auto add = [this](int from, int to, uint32_t bits) {
    for (int c = from; c <= to; ++c) m_classes[c] |= static_cast<uint16_t>(bits);
  };
  add('A', 'Z', kClassUpper | kClassLetter | kClassNameStart | kClassNameFollow);
  add('a', 'z', kClassLetter | kClassNameStart | kClassNameFollow);
  add('_', '_', kClassNameStart | kClassNameFollow);
  add('0', '1', kClassBinary);
  add('0', '7', kClassOctal);
  add('0', '9', kClassDecimal | kClassHex | kClassNameFollow);
  add('A', 'F', kClassHex);
  add('a', 'f', kClassHex);
  for (char c : {'!', '+', '-', '~'}) add(c, c, kClassUnary);
  add('.', '.', kClassPoint);
  for (int b = 0; b < 256; ++b) {
    if (IsAnsiLeadByte(static_cast<unsigned char>(b))) m_classes[b] |= kClassLeadByte;
  }
}

RefPtr<CharacterClassTable> CharacterClassTable::Get() {
  return GetOrCreateSingleton<CharacterClassTable>(SingletonSlot::CharacterTable);
}

}  // namespace talvinor
