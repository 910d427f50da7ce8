#pragma once
#include <ostream>

#include "audio/StopReason.h"

namespace talvinor {

// Lets assertions and failure messages show a reason as its code and meaning.
inline std::ostream& operator<<(std::ostream& out, StopReason reason) {
  return out << StopCode(reason) << " (" << DescribeStopReason(reason) << ")";
}

}  // namespace talvinor
