#include "tools/CliRegistry.h"

#include "tools/CliCommands.h"

namespace talvinor::cli {

// One line per command family, in the order they appear in --help.
void RegisterVersionCommand(CLI::App& app);
void RegisterSettingsCommand(CLI::App& app);

void RegisterAll(CLI::App& app) {
  RegisterVersionCommand(app);
  RegisterSettingsCommand(app);
}

}  // namespace talvinor::cli
