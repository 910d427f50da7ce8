#pragma once
#include <ctime>
#include <string>

namespace talvinor {

// Opens `path` read-only (so a file that cannot be opened for reading
// counts as unreadable, as it would for a conversion) and reads its
// last-write time as local time. Only a regular file is read: a FIFO or a
// device is refused with EINVAL (never waited on). False with `*error` =
// errno otherwise.
bool ReadLastWriteTime(const std::wstring& path, std::tm* localTime, int* error = nullptr);

// Whether `path` is an existing regular file (not a folder, FIFO or device).
bool IsRegularFile(const std::wstring& path);

// Whether `path` is an existing folder (not a file, not missing).
bool IsExistingFolder(const std::wstring& path);

}  // namespace talvinor
