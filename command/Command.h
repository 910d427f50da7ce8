#pragma once
#include <cstdint>
#include <string>

#include "core/RefPtr.h"

namespace talvinor {

class AttributeList;

// The nine external commands, by their `cmd` value.
enum class CommandKind {
  Rec,         // "rec": start (or, toggling, stop) a recording
  Play,        // "play": play the file `src`
  SaveMemo,    // "savememo": back up the answering machine's messages
  Stop,        // "stop"
  Pause,       // "pause"
  Restart,     // "restart": resume after a pause
  Exit,        // "exit": close the program
  HideWindow,  // "hidewindow"
  OpenWindow,  // "openwindow"
};

// One parsed external command; the frame's queue holds them until the UI
// thread executes them against the pages.
class Command : public RefObject {
 public:
  virtual CommandKind Kind() const = 0;
  // The `cmd` value ("rec", "play", ...).
  const wchar_t* Name() const;
  // The command and its parameters as one line ("rec scene=-1 toggle=0 tel=0").
  virtual std::wstring Describe() const { return Name(); }
  // Takes the command's parameters from the attributes; false when a
  // required one is missing.
  virtual bool ReadParameters(const AttributeList& /*attributes*/) { return true; }
};

// Reads an integer parameter: an integer, or a fraction cut to an integer.
// A text value, a missing attribute or a value outside 32 bits keeps
// `fallback`.
int32_t IntegerParameter(const AttributeList& attributes, const wchar_t* name, int32_t fallback);

class RecCommand : public Command {
  TALVINOR_CLASS_CODES(0x10000004)

 public:
  CommandKind Kind() const override { return CommandKind::Rec; }
  std::wstring Describe() const override;
  bool ReadParameters(const AttributeList& attributes) override;

  int32_t scene = -1;  // -1 keeps the current scene
  int32_t toggle = 0;  // 1: a second toggling rec stops the recording
  int32_t tel = 0;     // 1: a call recording
};

class PlayCommand : public Command {
  TALVINOR_CLASS_CODES(0x10000005)

 public:
  CommandKind Kind() const override { return CommandKind::Play; }
  std::wstring Describe() const override;
  // False without a `src` text.
  bool ReadParameters(const AttributeList& attributes) override;

  std::wstring src;
};

class SaveMemoCommand : public Command {
  TALVINOR_CLASS_CODES(0x10000006)

 public:
  CommandKind Kind() const override { return CommandKind::SaveMemo; }
};

class StopCommand : public Command {
  TALVINOR_CLASS_CODES(0x10000007)

 public:
  CommandKind Kind() const override { return CommandKind::Stop; }
};

class PauseCommand : public Command {
  TALVINOR_CLASS_CODES(0x10000008)

 public:
  CommandKind Kind() const override { return CommandKind::Pause; }
};

class RestartCommand : public Command {
  TALVINOR_CLASS_CODES(0x10000009)

 public:
  CommandKind Kind() const override { return CommandKind::Restart; }
};

class ExitCommand : public Command {
  TALVINOR_CLASS_CODES(0x1000000A)

 public:
  CommandKind Kind() const override { return CommandKind::Exit; }
};

class HideWindowCommand : public Command {
  TALVINOR_CLASS_CODES(0x1000000B)

 public:
  CommandKind Kind() const override { return CommandKind::HideWindow; }
};

class OpenWindowCommand : public Command {
  TALVINOR_CLASS_CODES(0x1000000C)

 public:
  CommandKind Kind() const override { return CommandKind::OpenWindow; }
};

// A new command object for a `cmd` value (compared exactly), or null for an
// unknown one.
RefPtr<Command> CreateCommand(const std::wstring& cmd);

}  // namespace talvinor
