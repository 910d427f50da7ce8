#pragma once
#include <string>

namespace talvinor {

// The program folder: where the executable, talvinor.ini, the manual texts
// and skin/ live together. Never ends in '/'.
bool GetProgramFolder(std::wstring* folder);

// Program folder + "/talvinor.ini"; when the program folder cannot be
// written (an install for all users), $XDG_CONFIG_HOME/talvinor/talvinor.ini,
// whose folder is created.
bool GetSettingsPath(std::wstring* path);

// Where recordings, call recordings and memo backups go when their folder
// settings are empty: "Talvinor" in the user's XDG music folder, never the
// program folder, which a rebuild or an uninstall deletes. The program
// folder only when there is no home at all.
std::wstring DefaultRecordingFolder();

// Tests and tools may place the program folder elsewhere (the bundle of a
// build, a temporary folder). An empty text returns to the executable's folder.
void OverrideProgramFolder(const std::wstring& folder);

}  // namespace talvinor
