#pragma once
#include <string>
#include <vector>

namespace talvinor {

// Command lines on Linux. The shell splits what the user typed into
// arguments; the program joins them back into one command text.
class CommandLine {
 public:
  // True when `text` is a command text: its first '/' is followed by a name
  // and, after blanks, a ':'. Paths contain '/' on Linux, so the mere
  // presence of a '/' cannot tell a command from a file to play.
  static bool IsCommandText(const std::wstring& text);

  // Joins arguments with single spaces. An argument "/name:value" whose value
  // would not read back as a bare word, a number or a quoted text is quoted
  // as /name:"value", so "/src:/home/me/a b.ogg" works as typed. A value that
  // holds a double quote or a line end cannot be quoted and is left alone
  // (the command text is then refused as malformed, never misread). An
  // argument whose value holds further " /name:" attributes is a whole
  // command text given as one word ("/cmd:rec /toggle:1 /scene:1") and is
  // passed on as it is.
  static std::wstring Join(const std::vector<std::wstring>& arguments);

  // Join, and when the result is a file to play given relative to
  // `currentFolder`, the file's absolute path: the running instance that
  // receives the text has a current folder of its own.
  static std::wstring ToCommandText(const std::vector<std::wstring>& arguments, const std::wstring& currentFolder);
};

}  // namespace talvinor
