// talvinor-cli: the command-line companion of Talvinor.
#include <clocale>
#include <cstdio>

#include "tools/CliCommands.h"
#include "tools/CliRegistry.h"

namespace talvinor::cli {
namespace {
int g_status = 0;
}
void SetExitStatus(int status) { g_status = status; }
int ExitStatus() { return g_status; }
}  // namespace talvinor::cli

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  CLI::App app{"talvinor-cli: convert, inspect, record, play and send commands to Talvinor"};
  app.require_subcommand(1);
  talvinor::cli::RegisterAll(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return talvinor::cli::ExitStatus();
}
