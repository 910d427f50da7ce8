#pragma once
#include <string>

namespace talvinor {

// Appends `record` to the end of `path` (created when missing), leaving
// every byte already there as it was. When the file's last byte ends no
// line, CR LF goes first, so the record never joins the last line written
// by someone else. Returns 0 or the errno value.
int AppendRecord(const std::wstring& path, const std::string& record);

}  // namespace talvinor
