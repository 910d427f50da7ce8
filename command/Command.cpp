#include "command/Command.h"

#include <limits>

#include "command/AttributeList.h"

namespace talvinor {

namespace {

struct CommandName {
  CommandKind kind;
  const wchar_t* name;
};

constexpr CommandName kNames[] = {
    {CommandKind::Rec, L"rec"},         {CommandKind::Play, L"play"},
    {CommandKind::SaveMemo, L"savememo"}, {CommandKind::Stop, L"stop"},
    {CommandKind::Pause, L"pause"},     {CommandKind::Restart, L"restart"},
    {CommandKind::Exit, L"exit"},       {CommandKind::HideWindow, L"hidewindow"},
    {CommandKind::OpenWindow, L"openwindow"},
};

}  // namespace

const wchar_t* Command::Name() const {
  for (const auto& entry : kNames)
    if (entry.kind == Kind()) return entry.name;
  return L"";
}

int32_t IntegerParameter(const AttributeList& attributes, const wchar_t* name, int32_t fallback) {
  const AttributeValue* value = attributes.Find(name);
  if (!value || value->kind == AttributeKind::Text) return fallback;
  // A fraction arrives already cut toward zero in `integer`.
  if (value->integer < std::numeric_limits<int32_t>::min() || value->integer > std::numeric_limits<int32_t>::max())
    return fallback;
  return static_cast<int32_t>(value->integer);
}

bool RecCommand::ReadParameters(const AttributeList& attributes) {
  scene = IntegerParameter(attributes, L"scene", -1);
  toggle = IntegerParameter(attributes, L"toggle", 0);
  tel = IntegerParameter(attributes, L"tel", 0);
  return true;
}

std::wstring RecCommand::Describe() const {
  return L"rec scene=" + std::to_wstring(scene) + L" toggle=" + std::to_wstring(toggle) + L" tel=" +
         std::to_wstring(tel);
}

bool PlayCommand::ReadParameters(const AttributeList& attributes) {
  const AttributeValue* value = attributes.Find(L"src");
  if (!value || value->kind != AttributeKind::Text) return false;
  src = value->text;
  return true;
}

std::wstring PlayCommand::Describe() const { return L"play src=\"" + src + L"\""; }

RefPtr<Command> CreateCommand(const std::wstring& cmd) {
  if (cmd == L"rec") return Create<RecCommand>();
  if (cmd == L"play") return Create<PlayCommand>();
  if (cmd == L"savememo") return Create<SaveMemoCommand>();
  if (cmd == L"stop") return Create<StopCommand>();
  if (cmd == L"pause") return Create<PauseCommand>();
  if (cmd == L"restart") return Create<RestartCommand>();
  if (cmd == L"exit") return Create<ExitCommand>();
  if (cmd == L"hidewindow") return Create<HideWindowCommand>();
  if (cmd == L"openwindow") return Create<OpenWindowCommand>();
  return nullptr;
}

}  // namespace talvinor
