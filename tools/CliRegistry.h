#pragma once
#include <CLI/CLI.hpp>

namespace talvinor::cli {

// Adds every command family's subcommands to `app`.
void RegisterAll(CLI::App& app);

}  // namespace talvinor::cli
