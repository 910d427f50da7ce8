#pragma once
// Names for the named objects of one test, apart from every other test run.
#include <unistd.h>

#include <atomic>
#include <string>

namespace talvinor::testing {

// A base name no other test run uses.
inline std::string UniqueName() {
  static std::atomic<int> counter{0};
  return "talvinor_ipctest_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

}  // namespace talvinor::testing
