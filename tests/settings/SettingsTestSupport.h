#pragma once
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/CodePage.h"

namespace talvinor::testing {

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// TALVINOR_TEST_DATA when the runner sets it, else the source tree's folder.
inline std::string TestDataPath(const std::string& name) {
  const char* root = std::getenv("TALVINOR_TEST_DATA");
  return std::string(root && *root ? root : TALVINOR_SETTINGS_TEST_DATA) + "/" + name;
}

// The example settings file (eight scenes, CP932, CR LF) as stored bytes.
inline std::string ExampleSettingsBytes() { return ReadBytes(TestDataPath("settings/example.ini")); }

}  // namespace talvinor::testing

#include "platform/Unicode.h"
namespace talvinor::testing {
inline std::string WideToUtf8ForTest(const std::wstring& text) { return WideToUtf8(text); }
}  // namespace talvinor::testing
