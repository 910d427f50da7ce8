// talvinor-cli settings show|check: the settings as the program will use them.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/ProgramPaths.h"
#include "platform/Unicode.h"
#include "platform/UserLanguage.h"
#include "settings/ConfigStore.h"
#include "settings/ConfigValidation.h"
#include "settings/SettingsFormat.h"
#include "settings/WaveDeviceQuery.h"
#include "tools/CliCommands.h"
#include "tools/TerminalText.h"

namespace talvinor::cli {

namespace {

void Print(std::FILE* stream, const std::wstring& text) {
  std::string bytes = ToTerminal(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

std::wstring ValueText(const std::wstring& text) { return L"\"" + text + L"\""; }
std::wstring ValueText(uint32_t number) { return std::to_wstring(number); }
std::wstring ValueText(double quality) {
  int32_t tenths = QualityToStored(quality);
  std::wstring sign = tenths < 0 ? L"-" : L"";
  int32_t magnitude = tenths < 0 ? -tenths : tenths;
  return sign + std::to_wstring(magnitude / 10) + L"." + std::to_wstring(magnitude % 10);
}

// Reports every value that differs between `before` and `after`.
template <typename Record>
int ReportChanges(const std::vector<ConfigField<Record>>& fields, const Record& before, const Record& after,
                  const std::wstring& where) {
  int changes = 0;
  auto report = [&](const wchar_t* key, const std::wstring& from, const std::wstring& to) {
    Print(stdout, Utf8ToWide(InUserLanguage("repaired: ", "修復: ")) + where + key + L": " + from + L" -> " + to + L"\n");
    ++changes;
  };
  for (const auto& f : fields) {
    switch (f.kind) {
      case ConfigFieldKind::Number:
        if (before.*f.number != after.*f.number) report(f.key, ValueText(before.*f.number), ValueText(after.*f.number));
        break;
      case ConfigFieldKind::Fraction:
        if (QualityToStored(before.*f.fraction) != QualityToStored(after.*f.fraction)) {
          report(f.key, ValueText(before.*f.fraction), ValueText(after.*f.fraction));
        }
        break;
      case ConfigFieldKind::Text:
        if (before.*f.text != after.*f.text) report(f.key, ValueText(before.*f.text), ValueText(after.*f.text));
        break;
      case ConfigFieldKind::SceneList:
        if constexpr (std::is_same_v<Record, CONFIG>) {
          for (int i = 0; i < kSceneCount; ++i) {
            changes += ReportChanges(SceneFields(), *before.m_RecSceneList[i], *after.m_RecSceneList[i],
                                     L"m_RecSceneList[" + std::to_wstring(i) + L"].");
          }
        }
        break;
    }
  }
  return changes;
}

struct Loaded {
  RefPtr<CONFIG> config = Create<CONFIG>();
  std::wstring path;
  ConfigLoadResult result = ConfigLoadResult::Missing;
  std::wstring detail;
};

bool LoadForCommand(const std::string& file, Loaded* loaded) {
  if (file.empty()) {
    if (!GetSettingsPath(&loaded->path)) {
      Print(stderr, Utf8ToWide(InUserLanguage("talvinor-cli: the program folder cannot be found\n",
                                              "talvinor-cli: プログラムのフォルダが見つかりません\n")));
      return false;
    }
  } else {
    loaded->path = Utf8ToWide(file);
  }
  loaded->result = LoadConfigFile(loaded->path, loaded->config.Get(), &loaded->detail);
  return true;
}

bool LoadFailed(const Loaded& loaded) {
  return loaded.result == ConfigLoadResult::Unreadable || loaded.result == ConfigLoadResult::Malformed;
}

void PrintLoadFailure(const Loaded& loaded) {
  Print(stderr, std::wstring(InUserLanguage(L"The settings file could not be read. It may be damaged.",
                                            kSettingsLoadFailedMessage)) +
                    L"\n");
  Print(stderr, loaded.path + L": " + loaded.detail + L"\n");
}

// Repairs and start-up fill, as the program does after loading.
void Complete(CONFIG* config) {
  RefPtr<WaveDeviceQuery> devices = GetWaveDeviceQuery();
  ValidateConfig(config, devices.Get());
  FillPathDefaults(config, DefaultRecordingFolder());
}

void RunShow(const std::string& file) {
  Loaded loaded;
  if (!LoadForCommand(file, &loaded)) return SetExitStatus(2);
  // A file the program cannot load leaves it on the defaults; show those,
  // but say so.
  if (LoadFailed(loaded)) {
    PrintLoadFailure(loaded);
    loaded.config = Create<CONFIG>();
  }
  Complete(loaded.config.Get());
  Print(stdout, SettingsText(*loaded.config));
  SetExitStatus(LoadFailed(loaded) ? 1 : 0);
}

void RunCheck(const std::string& file) {
  Loaded loaded;
  if (!LoadForCommand(file, &loaded)) return SetExitStatus(2);
  if (LoadFailed(loaded)) {
    PrintLoadFailure(loaded);
    return SetExitStatus(1);
  }
  if (loaded.result == ConfigLoadResult::Missing) {
    Print(stdout, loaded.path + Utf8ToWide(InUserLanguage(": there is no settings file; the defaults would be used\n",
                                                          ": 設定ファイルがありません。既定値が使われます\n")));
  }
  RefPtr<CONFIG> before = loaded.config->Clone();
  RefPtr<WaveDeviceQuery> devices = GetWaveDeviceQuery();
  ValidateConfig(loaded.config.Get(), devices.Get());
  int changes = ReportChanges(ConfigFields(), *before, *loaded.config, L"");
  if (changes == 0) Print(stdout, Utf8ToWide(InUserLanguage("no repairs needed\n", "修復の必要はありません\n")));
  SetExitStatus(0);
}

}  // namespace

void RegisterSettingsCommand(CLI::App& app) {
  auto* settings = app.add_subcommand(
      "settings", InUserLanguage("Inspect the settings file talvinor.ini", "設定ファイル talvinor.ini を調べる"));
  settings->require_subcommand(1);

  static std::string showFile;
  auto* show = settings->add_subcommand(
      "show", InUserLanguage("Print the settings as they will be used (loaded, repaired, defaults filled), in the text "
                             "the program saves",
                             "使われる設定 (読み込み・修復・既定値の補充の後) を、プログラムが保存する形で表示"));
  show->add_option("--settings,--file", showFile, SettingsFileHelp());
  show->callback([] { RunShow(showFile); });

  static std::string checkFile;
  auto* check = settings->add_subcommand(
      "check", InUserLanguage("Load the settings file, list every repair; exit 1 when the file cannot be loaded",
                              "設定ファイルを読み込み、修復をすべて表示。読めないときは終了コード 1"));
  check->add_option("--settings,--file", checkFile, SettingsFileHelp());
  check->callback([] { RunCheck(checkFile); });
}

}  // namespace talvinor::cli
