#pragma once
#include <ctime>
#include <string>

namespace talvinor {

// Opens `path` read-only (so a file that cannot be opened for reading
// counts as unreadable, as it would for a conversion) and reads its
// last-write time as local time. False with `*error` = errno otherwise.
bool ReadLastWriteTime(const std::wstring& path, std::tm* localTime, int* error = nullptr);

// Whether `path` is an existing folder (not a file, not missing).
bool IsExistingFolder(const std::wstring& path);

}  // namespace talvinor
