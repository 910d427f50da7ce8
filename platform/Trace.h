#pragma once
// The debug trace hook. Engine and platform code report failures and notable
// events as single formatted lines; the program discards them, tests install
// a hook that captures them.

namespace talvinor {

using TraceHook = void (*)(const char* line);

// Installs `hook` (nullptr discards every line) and returns the previous one.
TraceHook SetTraceHook(TraceHook hook);

// Formats a line printf-style and hands it to the hook, if any.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Trace with the text of errno value `error` appended ("... : <strerror> (<n>)").
void TraceErrno(int error, const char* context);

}  // namespace talvinor
