// talvinor-cli repair FILE...: makes recordings that were cut off (a crash, a
// kill, a full disk) playable up to their last complete piece of sound, as
// the program does at start-up for the recordings in its folders.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "codec/RecordingRepair.h"
#include "platform/Unicode.h"
#include "tools/CliCommands.h"

namespace talvinor::cli {

namespace {

struct RepairOptions {
  std::vector<std::string> files;
  bool check = false;
};

const char* OutcomeWord(RepairOutcome outcome, bool check) {
  switch (outcome) {
    case RepairOutcome::Complete: return "complete";
    case RepairOutcome::Repaired: return check ? "needs repair" : "repaired";
    case RepairOutcome::NotRecording: return "not a recording";
    case RepairOutcome::LeftAlone: return "left alone";
    case RepairOutcome::Failed: return "failed";
  }
  return "failed";
}

int RunRepair(const RepairOptions& options) {
  int status = 0;
  for (const std::string& file : options.files) {
    RepairReport report =
        RepairRecording(Utf8ToWide(file), options.check ? RepairMode::CheckOnly : RepairMode::Repair);
    const bool good = report.outcome == RepairOutcome::Complete || report.outcome == RepairOutcome::Repaired;
    std::FILE* out = good ? stdout : stderr;
    if (report.outcome == RepairOutcome::Complete) {
      std::fprintf(out, "%s: complete, not changed\n", file.c_str());
    } else {
      std::fprintf(out, "%s: %s: %s\n", file.c_str(), OutcomeWord(report.outcome, options.check), report.what.c_str());
    }
    if (!good) status = 1;
  }
  return status;
}

}  // namespace

void RegisterRepairCommand(CLI::App& app) {
  auto options = std::make_shared<RepairOptions>();
  auto* repair = app.add_subcommand(
      "repair",
      "Make WAV, Ogg Vorbis and Ogg Speex recordings that were cut off (a crash, a kill, a full disk) playable up "
      "to their last complete second: WAV sizes from the file's length, Ogg cut to its last complete page and "
      "marked as ended. Complete files are not touched.");
  repair->add_option("FILE", options->files, "The recordings")->required();
  repair->add_flag("--check", options->check, "Only say what a repair would change; change nothing");
  repair->footer(
      "Exit status: 0 when every file is complete or was repaired; 1 when a file could not be read or written, is "
      "not a recording, or is damaged in a way a repair would make worse (it is then left as it is).");
  repair->callback([options] { SetExitStatus(RunRepair(*options)); });
}

}  // namespace talvinor::cli
