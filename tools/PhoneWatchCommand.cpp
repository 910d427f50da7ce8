// talvinor-cli phone-watch: on a Linux phone, stands in for the phone
// software for call recording: it follows ModemManager's voice calls, asks
// the running Talvinor to record each call while it is active, and keeps the
// two call-history files the recording is renamed from.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "command/ChannelBlock.h"
#include "command/CommandClient.h"
#include "memo/CallHistory.h"
#include "platform/ConsoleInput.h"
#include "platform/FileAppend.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "platform/phone/ModemManagerCalls.h"
#include "settings/Config.h"
#include "settings/ConfigScene.h"
#include "settings/ConfigValidation.h"
#include "tools/CliCommands.h"
#include "tools/MasterSession.h"

namespace talvinor::cli {

namespace {

struct WatchOptions {
  std::string settingsFile;
  uint32_t pollMs = 250;
  bool trace = false;
};

// One call while it is known.
struct TrackedCall {
  ModemCall call;
  std::tm started{};    // when it was first seen: the history's time
  bool active = false;  // has been active
  bool recording = false;
  bool ended = false;
  bool seen = false;    // in the latest listing
};

void PrintTrace(const char* line) { std::fputs(line, stderr); }

// The channel of the Talvinor to steer: the usual one, or the one of
// TALVINOR_INSTANCE as the program itself names it.
std::string ChannelName() {
  std::string name = kCommandChannelName;
  const char* tag = std::getenv("TALVINOR_INSTANCE");
  if (!tag || !*tag) return name;
  const std::string text(tag);
  if (text.size() > 32) return name;
  for (char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) return name;
  }
  return name + "_" + text;
}

std::tm Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

class PhoneWatch {
 public:
  explicit PhoneWatch(RefPtr<CONFIG> config) : m_config(std::move(config)), m_channel(ChannelName()) {}

  // One look at the calls.
  void Poll(ModemManagerCalls& modem) {
    std::vector<ModemCall> calls;
    if (!modem.ListCalls(&calls)) {
      if (!m_unreachable) PrintLine(stderr, L"phone-watch: ModemManager cannot be asked: " + Utf8ToWide(modem.LastError()));
      m_unreachable = true;
      return;
    }
    if (m_unreachable) PrintLine(stdout, L"phone-watch: ModemManager answers");
    m_unreachable = false;
    for (auto& [path, tracked] : m_calls) tracked.seen = false;
    for (const ModemCall& call : calls) {
      auto [it, added] = m_calls.try_emplace(call.path);
      TrackedCall& tracked = it->second;
      if (added) tracked.started = Now();
      tracked.call = call;
      tracked.seen = true;
      if (call.state == ModemCallState::Active && !tracked.active) BecameActive(tracked);
      if (call.state == ModemCallState::Terminated && !tracked.ended) Ended(tracked);
    }
    // A call gone from the list has ended too.
    for (auto it = m_calls.begin(); it != m_calls.end();) {
      if (!it->second.seen) {
        if (!it->second.ended) Ended(it->second);
        it = m_calls.erase(it);
      } else {
        ++it;
      }
    }
  }

  // Ctrl-C: calls still going are ended as far as this watcher goes.
  void Finish() {
    for (auto& [path, tracked] : m_calls)
      if (!tracked.ended) Ended(tracked);
  }

 private:
  bool AnyRecording() const {
    for (const auto& [path, tracked] : m_calls)
      if (tracked.recording) return true;
    return false;
  }

  void Send(const std::wstring& text) {
    const ChannelSendResult result = SendCommandText(text, m_channel);
    if (result == ChannelSendResult::Sent) {
      PrintLine(stdout, L"phone-watch: sent " + text);
    } else {
      PrintLine(stderr, L"phone-watch: " + text + L" not sent: " + Utf8ToWide(DescribeSendResult(result)));
    }
  }

  void BecameActive(TrackedCall& tracked) {
    tracked.active = true;
    PrintLine(stdout, L"phone-watch: call " + Describe(tracked.call) + L" active");
    if (m_config->m_RecTelStart != 1 || AnyRecording()) return;
    std::wstring text = L"/cmd:rec /tel:1";
    for (size_t i = 0; i < m_config->m_RecSceneList.size(); ++i) {
      if (m_config->m_RecSceneList[i] && m_config->m_RecSceneList[i]->m_RecTelUse == 1) {
        text += L" /scene:" + std::to_wstring(i);
        break;
      }
    }
    Send(text);
    tracked.recording = true;
  }

  void Ended(TrackedCall& tracked) {
    tracked.ended = true;
    PrintLine(stdout, L"phone-watch: call " + Describe(tracked.call) + L" ended");
    // The row goes in before the stop, so the recording's rename finds it.
    const bool incoming = tracked.call.direction == ModemCallDirection::Incoming;
    const std::wstring file = ResolveSettingsPath(incoming ? m_config->m_CalledCsvPath : m_config->m_CallingCsvPath);
    const std::string row = incoming ? CallHistory::FormatReceivedRow(tracked.call.number, L"", tracked.started)
                                     : CallHistory::FormatDialledRow(tracked.call.number, L"", tracked.started);
    if (int error = AppendRecord(file, row)) {
      PrintLine(stderr, L"phone-watch: " + file + L": the call cannot be added (error " + std::to_wstring(error) + L")");
    }
    if (tracked.recording) {
      tracked.recording = false;
      if (m_config->m_RecTelStop == 1) Send(L"/cmd:stop");
    }
  }

  static std::wstring Describe(const ModemCall& call) {
    const wchar_t* way = call.direction == ModemCallDirection::Incoming   ? L"from "
                         : call.direction == ModemCallDirection::Outgoing ? L"to "
                                                                          : L"";
    return way + (call.number.empty() ? std::wstring(L"(no number)") : call.number);
  }

  RefPtr<CONFIG> m_config;
  std::string m_channel;
  std::map<std::string, TrackedCall> m_calls;
  bool m_unreachable = false;
};

int RunWatch(const WatchOptions& options) {
  if (options.trace) SetTraceHook(&PrintTrace);
  RefPtr<CONFIG> config;
  if (!LoadRunSettings(options.settingsFile, &config)) return 1;
  if (config->m_RecTelStart != 1) {
    PrintLine(stdout, L"phone-watch: m_RecTelStart is 0: calls are written to the histories but not recorded");
  }
  ModemManagerCalls modem;
  PhoneWatch watch(config);
  InterruptCatcher interrupt;
  std::printf("phone-watch: following ModemManager's calls\n");
  std::fflush(stdout);
  KeyInput wait;  // only for its bounded wait
  while (!interrupt.Requested()) {
    watch.Poll(modem);
    std::fflush(stdout);
    wait.Poll(options.pollMs);
  }
  watch.Finish();
  return 0;
}

}  // namespace

void RegisterPhoneWatchCommand(CLI::App& app) {
  auto options = std::make_shared<WatchOptions>();
  auto* command = app.add_subcommand(
      "phone-watch",
      "On a Linux phone: follow ModemManager's voice calls, record each active call in the running Talvinor "
      "(m_RecTelStart, m_RecTelStop) and add every finished call to the call histories");
  command->add_option("--settings", options->settingsFile, "The settings file (default: talvinor.ini beside the program)");
  command->add_option("--poll-ms", options->pollMs, "How often the calls are looked at (milliseconds)")
      ->check(CLI::Range(20u, 5000u));
  command->add_flag("--trace", options->trace, "Diagnostic trace on standard error");
  command->footer("Runs until Ctrl-C or SIGTERM. Exit status: 0, or 1 when the settings cannot be loaded.");
  command->callback([options] { SetExitStatus(RunWatch(*options)); });
}

}  // namespace talvinor::cli
