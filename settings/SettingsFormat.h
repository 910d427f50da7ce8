#pragma once
#include <cstdint>
#include <string>

#include "core/MemoryBuffer.h"
#include "settings/Config.h"
#include "settings/RecordWriter.h"
#include "settings/TypeRegistry.h"

namespace talvinor {

// The first line of talvinor.ini.
inline constexpr const wchar_t* kSettingsMagicLine = L"RFF_TALVINOR_SETUP_RECORD";

// The types talvinor.ini defines: VAR, NUM, STR, CONFIG_SCENE, CONFIG.
RefPtr<TypeRegistry> SettingsTypes();

// Writes the whole settings text: magic line, type definitions, main block.
void WriteSettings(const CONFIG& config, RecordWriter* writer);
// The text WriteSettings produces.
std::wstring SettingsText(const CONFIG& config);
// The same text in CP932, as stored.
bool SettingsBytes(const CONFIG& config, MemoryBuffer* buffer);

// Vorbis qualities are stored as tenths, truncated toward zero (0.45 -> 4).
int32_t QualityToStored(double quality);
double StoredToQuality(int64_t stored);

}  // namespace talvinor
