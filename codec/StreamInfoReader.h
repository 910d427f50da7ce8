#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "audio/StopReason.h"
#include "audio/WaveFormat.h"

namespace talvinor {

// What a sound file holds, as its source reports it once open.
struct StreamInfo {
  uint32_t sourceCode = 0;  // class code of the source that reads it
  WaveFormat format;
  uint32_t lengthMs = 0;
  std::vector<std::pair<std::wstring, std::wstring>> tags;  // (name, value), stored order
};

// Opens `path` with the source the content probe chooses, without a device,
// and reads its format, length and tags. Returns StopReason::None, or the
// reason that ended the attempt: FileOpen when the file cannot be opened,
// MalformedStream when its type is unknown or its header malformed,
// SetupFailure when it did not open within `timeoutMs`.
StopReason ReadStreamInfo(const std::wstring& path, StreamInfo* info, uint32_t timeoutMs = 10000);

}  // namespace talvinor
