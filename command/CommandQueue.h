#pragma once
#include <deque>
#include <string>

#include "command/Command.h"
#include "core/CriticalSectionObject.h"

namespace talvinor {

// The frame's first-in first-out queue of external commands. PostCommand
// adds to it; the frame takes them out on the UI thread.
class CommandQueue : public RefObject {
 public:
  CommandQueue();

  void Push(RefPtr<Command> command);
  // The oldest command, or null when the queue is empty.
  RefPtr<Command> Pop();
  size_t Count() const;

 private:
  RefPtr<CriticalSectionObject> m_lock;
  std::deque<RefPtr<Command>> m_commands;  // guarded by m_lock
};

// Why a command text made no command.
enum class CommandFailure {
  None,            // a command was made
  SyntaxError,     // the text is malformed (see `parseError`)
  MissingCmd,      // no `cmd` text attribute
  UnknownCmd,      // `cmd` names no command
  PlayWithoutSrc,  // "play" without a `src` text
};

struct CommandParseResult {
  RefPtr<Command> command;  // null on failure
  CommandFailure failure = CommandFailure::None;
  uint32_t parseError = 0;  // CommandTextError or the tokenizer's error number
  std::wstring text;        // the text that was parsed (after the play shortcut)
};

// Turns a command text into a command object, tracing what it does. A text
// that is not a command text but not empty either names a file to play and
// becomes /cmd:play /src:"text".
CommandParseResult ParseCommand(const std::wstring& text);

// Parses `text` and appends the command to `queue`. The caller posts the
// frame 0x8001 after a success.
bool PostCommand(CommandQueue* queue, const std::wstring& text);
// The oldest command of `queue`, or null when it is empty.
RefPtr<Command> PopCommand(CommandQueue* queue);

// A one-line account of a parse result: the command and its parameters, or
// why the text was refused.
std::wstring DescribeParseResult(const CommandParseResult& result);

}  // namespace talvinor
