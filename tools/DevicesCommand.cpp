// talvinor-cli devices: the wave input and output devices Talvinor sees.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "platform/UserLanguage.h"
#include "platform/wave/WaveAudio.h"
#include "tools/CliCommands.h"
#include "tools/TerminalText.h"

namespace talvinor::cli {
namespace {

struct DevicesOptions {
  bool useVirtual = false;
  bool trace = false;
};

void PrintTrace(const char* line) { std::fputs(line, stderr); }

// The capability mask in words: per standard rate, the channels and bits the
// device opens with ("44100 Hz: mono 8/16 bit, stereo 16 bit").
std::string CapabilityWords(uint32_t formats) {
  static const uint32_t kRates[] = {11025, 22050, 44100};
  const char* mono = InUserLanguage("mono", "モノラル");
  const char* stereo = InUserLanguage("stereo", "ステレオ");
  std::string words;
  for (int group = 0; group < 3; ++group) {
    const uint32_t bits = (formats >> (group * 4)) & 0xF;  // mono 8, stereo 8, mono 16, stereo 16
    if (!bits) continue;
    std::string line = std::to_string(kRates[group]) + " Hz:";
    bool first = true;
    for (int channels = 0; channels < 2; ++channels) {
      const bool eight = bits & (1u << channels);
      const bool sixteen = bits & (4u << channels);
      if (!eight && !sixteen) continue;
      line += first ? " " : ", ";
      first = false;
      line += std::string(channels ? stereo : mono) + " " + (eight && sixteen ? "8/16" : eight ? "8" : "16") + " bit";
    }
    if (!words.empty()) words += "; ";
    words += line;
  }
  return words.empty() ? InUserLanguage("no standard format", "標準の形式はありません") : words;
}

template <typename Caps>
void PrintDevices(const char* title, uint32_t count, MMRESULT (*getCaps)(uint32_t, Caps*)) {
  PrintUtf8(stdout, std::string(title) + ": " + std::to_string(count));
  for (uint32_t id = 0; id < count; ++id) {
    Caps caps;
    MMRESULT r = getCaps(id, &caps);
    std::string number = std::to_string(id);
    if (number.size() < 2) number.insert(0, 2 - number.size(), ' ');
    if (r != MMSYSERR_NOERROR) {
      PrintUtf8(stdout, "  " + number + InUserLanguage("  (no capabilities: ", "  (能力を読めません: ") +
                            WaveResultText(r) + ")");
      continue;
    }
    // The ALSA name is what --device takes and what opens the device.
    std::string line = "  " + number + "  " + WideToUtf8(caps.szPname);
    if (!caps.szDescription.empty()) line += "  (" + WideToUtf8(caps.szDescription) + ")";
    PrintUtf8(stdout, line);
    char mask[16];
    std::snprintf(mask, sizeof mask, "0x%03X", caps.dwFormats);
    PrintUtf8(stdout, "      " + CapabilityWords(caps.dwFormats) + "  [" + mask + "]");
  }
}

}  // namespace

void RegisterDevicesCommand(CLI::App& app) {
  auto options = std::make_shared<DevicesOptions>();
  auto* devices = app.add_subcommand(
      "devices",
      InUserLanguage("List the wave input and output devices: number and ALSA name (either is what record and "
                     "play take as --device), and the formats each opens with (rates, channels, bits; the "
                     "capability mask in brackets)",
                     "録音・再生デバイスの一覧: 番号と ALSA の名前 (どちらも record と play の --device に使える)、"
                     "開ける形式 (周波数・チャンネル・ビット数、角括弧内は能力のマスク)"));
  devices->add_flag("--virtual", options->useVirtual,
                    InUserLanguage("List the virtual test devices instead of ALSA's", "ALSA の代わりに試験用の仮想デバイスを表示"));
  devices->add_flag("--trace", options->trace,
                    InUserLanguage("Print the diagnostic trace (ALSA's messages) to standard error",
                                   "診断用のトレース (ALSA のメッセージ) を標準エラー出力に書く"));
  devices->callback([options] {
    if (options->trace) SetTraceHook(&PrintTrace);
    SetWaveBackend(options->useVirtual ? WaveBackendKind::Virtual : WaveBackendKind::Alsa);
    PrintDevices(InUserLanguage("Input devices", "録音デバイス"), waveInGetNumDevs(), &waveInGetDevCaps);
    PrintDevices(InUserLanguage("Output devices", "再生デバイス"), waveOutGetNumDevs(), &waveOutGetDevCaps);
    SetExitStatus(0);
  });
}

}  // namespace talvinor::cli
