#include <cstdio>

#include "tools/CliCommands.h"

namespace talvinor::cli {

void RegisterVersionCommand(CLI::App& app) {
  auto* version = app.add_subcommand("version", "Print the version of Talvinor");
  version->callback([] {
    std::printf("talvinor-cli 0.1\n");
    SetExitStatus(0);
  });
}

}  // namespace talvinor::cli
