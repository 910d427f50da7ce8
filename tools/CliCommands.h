#pragma once
#include <CLI/CLI.hpp>

namespace talvinor::cli {

// Each command family of talvinor-cli adds its subcommands here. A
// subcommand's callback stores its exit status with SetExitStatus.
void SetExitStatus(int status);
int ExitStatus();

// The help of the one option every subcommand names its settings file with
// (--settings FILE, also --file), in the user's language.
const char* SettingsFileHelp();

}  // namespace talvinor::cli
