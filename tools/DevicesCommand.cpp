// talvinor-cli devices: the wave input and output devices Talvinor sees.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "platform/wave/WaveAudio.h"
#include "tools/CliCommands.h"

namespace talvinor::cli {
namespace {

struct DevicesOptions {
  bool useVirtual = false;
  bool trace = false;
};

void PrintTrace(const char* line) { std::fputs(line, stderr); }

template <typename Caps>
void PrintDevices(const char* title, uint32_t count, MMRESULT (*getCaps)(uint32_t, Caps*)) {
  std::printf("%s: %u\n", title, count);
  for (uint32_t id = 0; id < count; ++id) {
    Caps caps;
    MMRESULT r = getCaps(id, &caps);
    if (r != MMSYSERR_NOERROR) {
      std::printf("  %2u  (no capabilities: %s)\n", id, WaveResultText(r));
      continue;
    }
    std::string line = "  " + std::to_string(id);
    if (line.size() < 4) line.insert(2, 4 - line.size(), ' ');
    char mask[16];
    std::snprintf(mask, sizeof mask, "  0x%03X  ", caps.dwFormats);
    line += mask + WideToUtf8(caps.szPname);
    if (!caps.szDescription.empty()) line += "  (" + WideToUtf8(caps.szDescription) + ")";
    std::printf("%s\n", line.c_str());
  }
}

}  // namespace

void RegisterDevicesCommand(CLI::App& app) {
  auto options = std::make_shared<DevicesOptions>();
  auto* devices = app.add_subcommand(
      "devices",
      "List the wave input and output devices: number, capability mask (the twelve standard-format bits, "
      "0x001 = 11025 Hz mono 8-bit ... 0x800 = 44100 Hz stereo 16-bit) and name");
  devices->add_flag("--virtual", options->useVirtual, "List the virtual test devices instead of ALSA's");
  devices->add_flag("--trace", options->trace, "Print the diagnostic trace (ALSA's messages) to standard error");
  devices->callback([options] {
    if (options->trace) SetTraceHook(&PrintTrace);
    SetWaveBackend(options->useVirtual ? WaveBackendKind::Virtual : WaveBackendKind::Alsa);
    PrintDevices("Input devices", waveInGetNumDevs(), &waveInGetDevCaps);
    PrintDevices("Output devices", waveOutGetNumDevs(), &waveOutGetDevCaps);
    SetExitStatus(0);
  });
}

}  // namespace talvinor::cli
