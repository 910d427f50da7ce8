#pragma once
#include <string>

namespace talvinor {

// The program folder: where the executable, talvinor.ini, the manual texts
// and skin/ live together. Never ends in '/'.
bool GetProgramFolder(std::wstring* folder);

// Program folder + "/talvinor.ini".
bool GetSettingsPath(std::wstring* path);

// Tests and tools may place the program folder elsewhere (the bundle of a
// build, a temporary folder). An empty text returns to the executable's folder.
void OverrideProgramFolder(const std::wstring& folder);

}  // namespace talvinor
