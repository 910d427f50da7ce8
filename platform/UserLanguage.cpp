#include "platform/UserLanguage.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace talvinor {

bool UserLanguageIsJapanese() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    // "ja", "ja_JP.UTF-8", "ja_JP@..."; not "jam" or "ja-ish" spellings.
    return std::strncmp(value, "ja", 2) == 0 && (value[2] == 0 || value[2] == '_' || value[2] == '.' || value[2] == '@');
  }
  return false;
}

}  // namespace talvinor
