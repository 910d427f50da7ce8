#include "settings/SettingsParserService.h"

#include "core/Singletons.h"
#include "settings/SettingsParser.h"

namespace talvinor {

SettingsParserService::SettingsParserService() : m_table(CharacterClassTable::Get()) {}

RefPtr<SettingsParserService> SettingsParserService::Get() {
  return GetOrCreateSingleton<SettingsParserService>(SingletonSlot::SettingsParser);
}

bool SettingsParserService::Parse(std::wstring_view text, CONFIG* target, std::wstring* error) {
  auto parser = Create<SettingsParser>();
  if (parser->ParseInto(text, target)) return true;
  if (error) *error = parser->DescribeError();
  return false;
}

}  // namespace talvinor
