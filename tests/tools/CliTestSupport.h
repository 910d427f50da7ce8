#pragma once
// talvinor-cli and the tools beside it, run in a test's folder as a user
// runs them: under the UTF-8 C locale, with what they printed.
#include <string>

#include "support/ShellRun.h"
#include "support/TempFolder.h"

namespace talvinor::testing {

using CliRun = ShellRun;

// Runs a shell command in `folder`.
inline CliRun Shell(const TempFolder& folder, const std::string& command) {
  return RunShell(folder.Path(), "LC_ALL=C.UTF-8 " + command);
}

// Runs talvinor-cli in `folder`; `arguments` are shell words.
inline CliRun Cli(const TempFolder& folder, const std::string& arguments) {
  return Shell(folder, ShellQuote(TALVINOR_CLI_PATH) + " " + arguments);
}

}  // namespace talvinor::testing
