#pragma once
// A shell command run to its end in a folder, with what it printed.
#include <string>

#include "support/Subprocess.h"

namespace talvinor::testing {

struct ShellRun {
  int status = -1;  // the exit code; -1 when it was ended by a signal or ran too long
  std::string out;
  std::string err;
};

// Runs `command` with /bin/sh in `folder` ("" keeps the test's), for at most
// `timeoutMs`; the process is killed when it takes longer.
inline ShellRun RunShell(const std::string& folder, const std::string& command, uint32_t timeoutMs = 120000) {
  Subprocess shell({"/bin/sh", "-c", command}, folder);
  ShellRun run;
  run.status = shell.Wait(timeoutMs);
  run.out = shell.Output();
  run.err = shell.Errors();
  return run;
}

}  // namespace talvinor::testing
