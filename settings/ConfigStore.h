#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "settings/Config.h"

namespace talvinor {

// The message shown when talvinor.ini exists but cannot be loaded.
inline constexpr const wchar_t* kSettingsLoadFailedMessage =
    L"設定ファイルを読めませんでした。ファイルが破損している可能性があります。";

// The settings singleton (slot 12), created with the defaults on first call.
RefPtr<CONFIG> GetConfig();

// What loading a settings file came to.
enum class ConfigLoadResult {
  Loaded,      // read and parsed into the target
  Missing,     // no such file: the target keeps its values (no failure)
  Unreadable,  // the file exists but could not be opened or read
  Malformed,   // the text is not a valid settings file (or is absurdly large)
};

// Loads `path` into `target`. Only Loaded changes `target`, and then wholly:
// keys the file lacks get their defaults. `detail` says what went wrong.
ConfigLoadResult LoadConfigFile(const std::wstring& path, CONFIG* target, std::wstring* detail = nullptr);

// Loads the program folder's talvinor.ini into the singleton. False when the
// file exists but cannot be used; the singleton then keeps its values.
bool LoadConfig();

// Writes `config` to `path`: the whole text goes to "<path>.tmp" in the same
// folder, is flushed, and only then renamed over `path`, so a crash or a full
// disk never leaves a damaged settings file. False (and `path` untouched)
// on any failure.
bool SaveConfigFile(const std::wstring& path, const CONFIG& config);

// Saves the singleton to the program folder's talvinor.ini.
bool SaveConfig();

// Test seam: after this many bytes the settings file writes fail as on a
// full disk. nullopt writes normally.
void SetSettingsWriteLimit(std::optional<uint32_t> bytes);

}  // namespace talvinor
