#pragma once
#include <unistd.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "command/ChannelText.h"
#include "command/CommandServer.h"
#include "platform/window/HeadlessMessageQueue.h"

namespace talvinor::testing {

// A channel base name no other test or test run uses.
inline std::string UniqueChannelName() {
  static std::atomic<int> counter{0};
  return "talvinor_cmdtest_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// The frame's side of a channel: a server waking a headless window, and the
// receive the frame does on 0x8002.
class ChannelReceiver {
 public:
  explicit ChannelReceiver(const std::string& name) : server(Create<CommandServer>(name)) {
    server->SetTarget(window.Id(), kWmTakeChannelMessage);
  }
  ~ChannelReceiver() { server->StopServer(); }

  // Waits up to `timeoutMs` for a wake, then receives; nullopt when no wake
  // came or nothing was taken.
  std::optional<std::vector<uint8_t>> Next(uint32_t timeoutMs) {
    uint32_t start = GetTickCount();
    for (;;) {
      uint32_t spent = GetTickCount() - start;
      if (spent >= timeoutMs) return std::nullopt;
      if (!window.TakeMessage(kWmTakeChannelMessage, timeoutMs - spent)) return std::nullopt;
      std::vector<uint8_t> message;
      if (server->Receive(&message)) return message;
    }
  }
  std::optional<std::wstring> NextText(uint32_t timeoutMs) {
    auto message = Next(timeoutMs);
    if (!message) return std::nullopt;
    return ChannelText::Decode(*message);
  }

  HeadlessMessageQueue window;
  RefPtr<CommandServer> server;
};

}  // namespace talvinor::testing
