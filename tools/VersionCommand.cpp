#include <cstdio>

#include "platform/UserLanguage.h"
#include "tools/CliCommands.h"

namespace talvinor::cli {

void RegisterVersionCommand(CLI::App& app) {
  auto* version = app.add_subcommand(
      "version", InUserLanguage("Print the version of Talvinor", "Talvinor のバージョンを表示"));
  version->callback([] {
    std::printf("talvinor-cli %s\n", TALVINOR_VERSION);
    SetExitStatus(0);
  });
}

}  // namespace talvinor::cli
