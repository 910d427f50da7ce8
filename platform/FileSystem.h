#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace talvinor {

// Attribute bits with the handset's values, so callers keep their tests.
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrDirectory = 0x10;

// Paths are POSIX paths. A folder text never ends in '/'; the root folder is
// the empty text "", whose entries are those of "/". JoinPath("", "a") is "/a".
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// The folder part of `path` ("" for "/name" and for a bare name).
std::wstring ParentFolder(const std::wstring& path);

// Attributes of `path`; false (with `*error` = errno) when it does not exist.
// Hidden means the name starts with '.'.
bool GetFileAttributes(const std::wstring& path, uint32_t* attributes, int* error = nullptr);
bool FileExists(const std::wstring& path);

// Renames `from` to `to`, never replacing an existing `to` (EEXIST instead).
// Returns 0 or the errno value.
int MoveFileNoReplace(const std::wstring& from, const std::wstring& to);
// Returns 0 or the errno value.
int DeleteFile(const std::wstring& path);
// Creates one folder; returns 0, or the errno value (EEXIST when present).
int CreateFolder(const std::wstring& path);

struct FolderEntry {
  std::wstring name;
  uint32_t attributes = 0;
  uint64_t size = 0;
  std::tm lastWrite{};  // local time
};

// Lists `folder` ("" is the root) without "." and "..". Returns 0 or errno.
int ListFolder(const std::wstring& folder, std::vector<FolderEntry>* entries);

// The folder of the running executable (from /proc/self/exe), without a
// trailing separator. False when it cannot be read.
bool GetExecutableFolder(std::wstring* folder);
// The running executable's own path (UTF-8, links resolved), as a launcher
// must name it. False when it cannot be read.
bool GetExecutablePath(std::string* path);

}  // namespace talvinor
