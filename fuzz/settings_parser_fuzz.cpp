// The settings parser: any bytes as talvinor.ini. What loads is repaired as
// at start-up; a second repair must change nothing, and what the program
// writes of the settings must read back to the same text.
#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "settings/ConfigValidation.h"
#include "settings/SettingsFormat.h"
#include "settings/SettingsParserService.h"
#include "settings/WaveDeviceQuery.h"

using namespace talvinor;
using namespace talvinor::fuzz;

void WriteSeeds(const FuzzSeeds& seeds) {
  RefPtr<CONFIG> config = Create<CONFIG>();
  seeds.Add("defaults.ini", WideToAnsi(SettingsText(*config)));
  RefPtr<FixedWaveDeviceQuery> devices = Create<FixedWaveDeviceQuery>(1, 1, 0xFFFFFu);
  FillPathDefaults(config.Get(), L"/home/me/録音");
  ValidateConfig(config.Get(), devices.Get());
  seeds.Add("filled.ini", WideToAnsi(SettingsText(*config)));
  // Keys reordered and one dropped: the file's own definitions say where
  // each value is.
  std::wstring text = SettingsText(*config);
  size_t cut = text.find(L"m_RecPath");
  if (cut != std::wstring::npos) seeds.Add("renamed.ini", WideToAnsi(text.substr(0, cut) + L"m_Unknown" + text.substr(cut + 9)));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static RefPtr<FixedWaveDeviceQuery> devices = Create<FixedWaveDeviceQuery>(2, 1, 0xFFFFFu);
  std::wstring text = AnsiToWide(std::string_view(reinterpret_cast<const char*>(data), size));
  RefPtr<CONFIG> config = Create<CONFIG>();
  std::wstring error;
  if (!SettingsParserService::Get()->Parse(text, config.Get(), &error)) {
    TALVINOR_FUZZ_CHECK(!error.empty());
    return 0;
  }
  ValidateConfig(config.Get(), devices.Get());
  const std::wstring repaired = SettingsText(*config);
  // (A scene whose preset no format of the device fits counts as repaired
  // each time it falls back, so only the values are compared.)
  ValidateConfig(config.Get(), devices.Get());
  if (SettingsText(*config) != repaired) {
    std::fprintf(stderr, "repaired settings changed on a second repair:\n%s\n--- became ---\n%s\n",
                 WideToUtf8(repaired).c_str(), WideToUtf8(SettingsText(*config)).c_str());
    std::abort();
  }

  std::wstring written = SettingsText(*config);
  RefPtr<CONFIG> again = Create<CONFIG>();
  TALVINOR_FUZZ_CHECK(SettingsParserService::Get()->Parse(written, again.Get(), &error));
  TALVINOR_FUZZ_CHECK(SettingsText(*again) == written);
  // Stored in CP932 and read back, as the file is.
  RefPtr<CONFIG> stored = Create<CONFIG>();
  TALVINOR_FUZZ_CHECK(SettingsParserService::Get()->Parse(AnsiToWide(WideToAnsi(written)), stored.Get(), &error));
  ValidateConfig(stored.Get(), devices.Get());
  TALVINOR_FUZZ_CHECK(SettingsText(*stored) == written);
  return 0;
}
