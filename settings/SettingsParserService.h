#pragma once
#include <string>
#include <string_view>

#include "core/RefPtr.h"
#include "settings/CharacterClassTable.h"
#include "settings/Config.h"

namespace talvinor {

// The settings parser service of singleton slot 15. It holds the shared
// character-class table (slot 16), so the table lives as long as the
// service, and turns settings text into CONFIG values.
class SettingsParserService : public RefObject {
  TALVINOR_CLASS_CODES(0x18202)

 public:
  SettingsParserService();

  static RefPtr<SettingsParserService> Get();

  // Parses `text` into `target` (a record holding the defaults). On failure
  // `target` is partly filled and `error`, when given, says where and why.
  bool Parse(std::wstring_view text, CONFIG* target, std::wstring* error);

 private:
  RefPtr<CharacterClassTable> m_table;
};

}  // namespace talvinor
