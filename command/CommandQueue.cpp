#include "command/CommandQueue.h"

#include <cwchar>

#include "command/AttributeList.h"
#include "command/CommandLine.h"
#include "command/CommandParser.h"
#include "core/ScopedLock.h"
#include "core/TrimBlanks.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

CommandQueue::CommandQueue() : m_lock(Create<CriticalSectionObject>()) {}

void CommandQueue::Push(RefPtr<Command> command) {
  if (!command) return;
  Locker lock(m_lock.Get());
  m_commands.push_back(std::move(command));
}

RefPtr<Command> CommandQueue::Pop() {
  Locker lock(m_lock.Get());
  if (m_commands.empty()) return nullptr;
  RefPtr<Command> command = std::move(m_commands.front());
  m_commands.pop_front();
  return command;
}

size_t CommandQueue::Count() const {
  Locker lock(m_lock.Get());
  return m_commands.size();
}

CommandParseResult ParseCommand(const std::wstring& original) {
  CommandParseResult result;
  result.text = original;
  Trace("PostCommand : \"%s\"\r\n", WideToUtf8(original).c_str());

  // A bare file name plays that file. A text of blanks only names nothing.
  std::wstring trimmed = original;
  TrimBlanks(trimmed);
  if (!trimmed.empty() && !CommandLine::IsCommandText(original)) result.text = L"/cmd:play /src:\"" + original + L"\"";

  AttributeList attributes;
  if (!CommandParser::Parse(result.text, &attributes, &result.parseError)) {
    Trace("PostCommand error : 0x%08x\r\n", result.parseError);
    result.failure = CommandFailure::SyntaxError;
    return result;
  }
  const AttributeValue* cmd = attributes.Find(L"cmd");
  if (!cmd || cmd->kind != AttributeKind::Text) {
    Trace("PostCommand error : not found 'cmd'\r\n");
    result.failure = CommandFailure::MissingCmd;
    return result;
  }
  RefPtr<Command> command = CreateCommand(cmd->text);
  if (!command) {
    Trace("PostCommand error : unknown cmd = %s\r\n", WideToUtf8(cmd->text).c_str());
    result.failure = CommandFailure::UnknownCmd;
    return result;
  }
  if (!command->ReadParameters(attributes)) {
    result.failure = CommandFailure::PlayWithoutSrc;
    return result;
  }
  result.command = std::move(command);
  return result;
}

bool PostCommand(CommandQueue* queue, const std::wstring& text) {
  CommandParseResult result = ParseCommand(text);
  if (!result.command) return false;
  queue->Push(std::move(result.command));
  return true;
}

RefPtr<Command> PopCommand(CommandQueue* queue) { return queue->Pop(); }

std::wstring DescribeParseResult(const CommandParseResult& result) {
  wchar_t code[16];
  switch (result.failure) {
    case CommandFailure::None:
      std::swprintf(code, 16, L"0x%08x", result.command->GetTypeCode());
      return std::wstring(L"command ") + code + L": " + result.command->Describe();
    case CommandFailure::SyntaxError:
      std::swprintf(code, 16, L"0x%08x", result.parseError);
      return std::wstring(L"refused: syntax error ") + code;
    case CommandFailure::MissingCmd:
      return L"refused: no 'cmd' text";
    case CommandFailure::UnknownCmd:
      return L"refused: unknown cmd";
    case CommandFailure::PlayWithoutSrc:
      return L"refused: play without a 'src' text";
  }
  return L"";
}

}  // namespace talvinor
