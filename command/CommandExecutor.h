#pragma once
#include <cstdint>
#include <vector>

#include "command/CommandHost.h"
#include "command/CommandQueue.h"

namespace talvinor {

class CommandServer;

// Messages of the external commands, shown by the frame.
inline constexpr const wchar_t* kCommandRefusedNotice = L"外部コマンドの受信を拒否しました。";
inline constexpr const wchar_t* kWindowShownNotice = L"外部コマンドでウィンドウを表示しました。";
inline constexpr const wchar_t* kCommandSyntaxError = L"外部コマンドは記述誤りにより実行できません。";
inline constexpr const wchar_t* kCommandServerStartError = L"外部コマンドサーバの起動に失敗しました。";

// How the frame carries out external commands. The frame calls RunQueue on
// 0x8001 and TakeChannelMessage on 0x8002; both run on the UI thread.
class CommandExecutor {
 public:
  // Pops and executes commands until the queue is empty. After the program
  // was closed by an exit command the rest of the queue is dropped.
  static void RunQueue(CommandHost* host, CommandQueue* queue);
  // Executes one command; true when it closed the program.
  static bool Execute(CommandHost* host, Command* command);

  // Takes the waiting message out of the channel and acts on it.
  static void TakeChannelMessage(CommandHost* host, CommandServer* server, CommandQueue* queue);
  // Acts on a received message: a zero-terminated UTF-16LE text, trimmed. An
  // empty text brings the frame to the foreground; any other is posted to the
  // queue (then 0x8001) or refused with the syntax error.
  static void HandleChannelMessage(CommandHost* host, CommandQueue* queue, const std::vector<uint8_t>& message);
};

}  // namespace talvinor
