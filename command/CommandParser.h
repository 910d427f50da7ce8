#pragma once
#include <cstdint>
#include <string_view>

#include "command/AttributeList.h"

namespace talvinor {

// Why a command text could not be read. Values 1 to 8 are the tokenizer's
// own error numbers (settings/Tokenizer.h); the rest are the command syntax's.
enum class CommandTextError : uint32_t {
  None = 0,
  ExpectedSlash = 0x101,  // something other than '/' where an attribute must start
  MissingColon = 0x102,   // the name is not followed by ':'
  RepeatedName = 0x103,   // an attribute name given twice
  BadValue = 0x104,       // not a bare word, an unsigned number or a quoted text
  MissingName = 0x105,    // '/' not followed by a name
};

// Reads the attributes of a command text: everything before the first '/'
// is ignored; then '/' name ':' value items separated by blanks. Names are
// lower-cased. A value is a bare word (text), an unsigned number (integer or
// fraction) or a quoted text in which backslashes are ordinary characters.
class CommandParser {
 public:
  // False on any syntax error, with the reason in `*error` (and the list
  // left empty). A text without '/' is an empty list.
  static bool Parse(std::wstring_view text, AttributeList* list, uint32_t* error);
};

}  // namespace talvinor
