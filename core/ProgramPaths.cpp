#include "core/ProgramPaths.h"

#include <mutex>

#include "platform/FileSystem.h"

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
  *path = JoinPath(folder, L"talvinor.ini");
  return true;
}

}  // namespace talvinor
