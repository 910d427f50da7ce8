#include "platform/Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace talvinor {

namespace {
std::atomic<TraceHook> g_hook{nullptr};
}

TraceHook SetTraceHook(TraceHook hook) { return g_hook.exchange(hook); }

void Trace(const char* format, ...) {
  TraceHook hook = g_hook.load();
  if (!hook) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  hook(line);
}

void TraceErrno(int error, const char* context) {
  char text[256];
  // GNU strerror_r returns the message pointer, which may not be `text`.
  const char* message = strerror_r(error, text, sizeof text);
  Trace("%s: %s (%d)\r\n", context, message, error);
}

}  // namespace talvinor
