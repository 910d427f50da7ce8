#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "platform/Trace.h"

namespace talvinor::testing {

// Captures trace lines for the life of the object (one capture at a time).
class TraceCapture {
 public:
  TraceCapture() { m_previous = SetTraceHook(&TraceCapture::Hook); }
  ~TraceCapture() { SetTraceHook(m_previous); }

  std::vector<std::string> Lines() {
    std::lock_guard lock(Mutex());
    return Store();
  }
  bool Contains(const std::string& fragment) {
    for (const auto& line : Lines())
      if (line.find(fragment) != std::string::npos) return true;
    return false;
  }

 private:
  static std::mutex& Mutex() {
    static std::mutex m;
    return m;
  }
  static std::vector<std::string>& Store() {
    static std::vector<std::string> lines;
    return lines;
  }
  static void Hook(const char* line) {
    std::lock_guard lock(Mutex());
    Store().emplace_back(line);
  }

  TraceHook m_previous;
  struct Clear {
    Clear() {
      std::lock_guard lock(Mutex());
      Store().clear();
    }
  } m_clear;
};

}  // namespace talvinor::testing
