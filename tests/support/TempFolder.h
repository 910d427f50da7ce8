#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/Unicode.h"

namespace talvinor::testing {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "talvinor-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    m_path = made ? made : "";
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return m_path; }
  std::wstring WPath() const { return Utf8ToWide(m_path); }
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  std::wstring WFile(const std::wstring& name) const { return WPath() + L"/" + name; }

 private:
  std::string m_path;
};

}  // namespace talvinor::testing
