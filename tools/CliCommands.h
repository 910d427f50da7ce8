#pragma once
#include <CLI/CLI.hpp>

namespace talvinor::cli {

// Each command family of talvinor-cli adds its subcommands here. A
// subcommand's callback stores its exit status with SetExitStatus.
void SetExitStatus(int status);
int ExitStatus();

}  // namespace talvinor::cli
