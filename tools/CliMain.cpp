// talvinor-cli: the command-line companion of Talvinor.
#include <clocale>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/UserLanguage.h"
#include "tools/CliCommands.h"
#include "tools/CliRegistry.h"
#include "tools/TerminalText.h"

namespace talvinor::cli {
namespace {
int g_status = 0;

constexpr int kUsageStatus = 2;

// The help's headings in the user's language.
void LabelFormatter(CLI::App& app) {
  auto formatter = app.get_formatter();
  if (!UserLanguageIsJapanese()) return;
  formatter->label("Usage", "使い方");
  formatter->label("OPTIONS", "オプション");
  formatter->label("SUBCOMMAND", "サブコマンド");
  formatter->label("SUBCOMMANDS", "サブコマンド");
  formatter->label("Options", "オプション");
  formatter->label("Subcommands", "サブコマンド");
  formatter->label("Positionals", "引数");
  formatter->label("REQUIRED", "必須");
  formatter->label("TEXT", "文字列");
  formatter->label("INT", "整数");
  formatter->label("UINT", "整数");
  formatter->label("FLOAT", "数値");
  formatter->label("Excludes", "同時に使えない");
  formatter->label("Needs", "必要");
}

// The first word that names no subcommand where one was expected.
std::string UnknownSubcommand(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word.empty() || word[0] == '-') continue;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
      if (sub->check_name(word)) return std::string();
    }
    return word;
  }
  return std::string();
}

int ReportParseError(const CLI::App& app, const CLI::ParseError& e, int argc, char** argv) {
  const std::string unknown = UnknownSubcommand(app, argc, argv);
  if (!unknown.empty()) {
    PrintUtf8(stderr, std::string(InUserLanguage("talvinor-cli: unknown subcommand '", "talvinor-cli: '")) + unknown +
                          InUserLanguage("'\nSee 'talvinor-cli --help' for the subcommands.",
                                         "' というサブコマンドはありません\n"
                                         "サブコマンドの一覧は 'talvinor-cli --help' で見られます。"));
    return kUsageStatus;
  }
  PrintUtf8(stderr, std::string(InUserLanguage("talvinor-cli: ", "talvinor-cli: 引数が正しくありません: ")) + e.what() +
                        InUserLanguage("\nSee 'talvinor-cli --help' (or SUBCOMMAND --help).",
                                       "\n使い方は 'talvinor-cli --help' (または サブコマンド --help) で見られます。"));
  return kUsageStatus;
}

}  // namespace
void SetExitStatus(int status) { g_status = status; }
int ExitStatus() { return g_status; }
const char* SettingsFileHelp() {
  return InUserLanguage("Settings file to use (default: talvinor.ini, as the program finds it)",
                        "使う設定ファイル (省略時はプログラムと同じ talvinor.ini)");
}
}  // namespace talvinor::cli

int main(int argc, char** argv) {
  using namespace talvinor;
  std::setlocale(LC_ALL, "");
  CLI::App app{InUserLanguage("talvinor-cli: convert, inspect, record, play and send commands to Talvinor.\n"
                              "Each subcommand has its own --help (talvinor-cli convert --help).",
                              "talvinor-cli: Talvinor の変換・情報表示・録音・再生・コマンド送信。\n"
                              "サブコマンドごとに --help があります (talvinor-cli convert --help)。"),
               "talvinor-cli"};
  cli::LabelFormatter(app);
  app.require_subcommand(1);
  app.set_version_flag("-V,--version", std::string("talvinor-cli ") + TALVINOR_VERSION,
                       InUserLanguage("Print the version and exit", "バージョンを表示して終了"));
  app.set_help_flag("-h,--help", InUserLanguage("Print this help and exit", "この説明を表示して終了"));
  const char* optionsGroup = InUserLanguage("Options", "オプション");
  app.option_defaults()->group(optionsGroup);  // subcommands made later inherit it
  for (CLI::Option* option : app.get_options()) option->group(optionsGroup);
  cli::RegisterAll(app);
  // Every subcommand's headings in the user's language too.
  std::function<void(CLI::App*)> label = [&](CLI::App* parent) {
    for (CLI::App* sub : parent->get_subcommands([](CLI::App*) { return true; })) {
      sub->group(InUserLanguage("Subcommands", "サブコマンド"));
      for (CLI::Option* option : sub->get_options()) {
        if (option->get_group() == "Options") option->group(optionsGroup);
      }
      label(sub);
    }
  };
  label(&app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return cli::ReportParseError(app, e, argc, argv);
  }
  return cli::ExitStatus();
}
