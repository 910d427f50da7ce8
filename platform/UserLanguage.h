#pragma once

namespace talvinor {

// Whether messages for the person at the terminal are to be Japanese: the
// language of the locale's message category (LC_ALL, else LC_MESSAGES, else
// LANG, the first one set and not empty) is "ja". Anything else, and no
// locale at all, speaks English.
bool UserLanguageIsJapanese();

// The text in the user's language. Both are UTF-8.
inline const char* InUserLanguage(const char* english, const char* japanese) {
  return UserLanguageIsJapanese() ? japanese : english;
}

inline const wchar_t* InUserLanguage(const wchar_t* english, const wchar_t* japanese) {
  return UserLanguageIsJapanese() ? japanese : english;
}

}  // namespace talvinor
