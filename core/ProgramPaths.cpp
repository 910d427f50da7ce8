#include "core/ProgramPaths.h"

#include <mutex>

#include "platform/FileSystem.h"
#include "platform/UserFolders.h"

namespace talvinor {

namespace {
std::mutex g_mutex;
std::wstring g_override;  // guarded by g_mutex
}  // namespace

void OverrideProgramFolder(const std::wstring& folder) {
  std::lock_guard lock(g_mutex);
  g_override = folder;
  while (g_override.size() > 1 && g_override.back() == L'/') g_override.pop_back();
}

bool GetProgramFolder(std::wstring* folder) {
  {
    std::lock_guard lock(g_mutex);
    if (!g_override.empty()) {
      *folder = g_override == L"/" ? L"" : g_override;
      return true;
    }
  }
  return GetExecutableFolder(folder);
}

bool GetSettingsPath(std::wstring* path) {
  std::wstring folder;
  if (!GetProgramFolder(&folder)) return false;
  // An install for all users cannot write its own folder: the settings are
  // then the user's, in the XDG config folder.
  if (!FolderWritable(folder)) {
    std::wstring config = UserConfigFolder();
    if (!config.empty()) {
      folder = JoinPath(config, L"talvinor");
      CreateFolderPath(folder, true);
    }
  }
  *path = JoinPath(folder, L"talvinor.ini");
  return true;
}

std::wstring DefaultRecordingFolder() {
  std::wstring music = UserMusicFolder();
  if (music.empty()) {
    std::wstring folder;
    return GetProgramFolder(&folder) ? folder : std::wstring();
  }
  return JoinPath(music, L"Talvinor");
}

}  // namespace talvinor
