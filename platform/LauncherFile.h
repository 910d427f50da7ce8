#pragma once
#include <string>

namespace talvinor {

// Desktop launchers in the user's applications folder: the menu entry that
// runs a program with fixed arguments. Paths are UTF-8.

// $XDG_DATA_HOME/applications, else $HOME/.local/share/applications; empty
// when neither variable is set.
std::string ApplicationsFolder();

// The text of a launcher: Exec= the program (quoted as the desktop entry
// rules want) and the arguments, Name, Icon and Terminal=false.
std::string LauncherText(const std::string& name, const std::string& program, const std::string& arguments,
                         const std::string& icon);

// The value of Exec= for `program` (quoted) and `arguments` (field codes
// such as %f kept), escaped as a key value; and `text` escaped as any other
// key value (Icon=, Name=).
std::string ExecValue(const std::string& program, const std::string& arguments);
std::string LauncherValue(const std::string& text);
// The program an Exec= value names: its first argument, unescaped and
// unquoted; empty when there is none.
std::string ExecProgram(const std::string& value);

// Writes a new launcher at `path` (the folder is made when missing); never
// replaces a file already there. 0, or the errno of the failing call
// (EEXIST when the file exists). A failed write leaves no file behind.
int WriteLauncher(const std::string& path, const std::string& text);

// Replaces the file at `path` with `text` at once: written beside it, then
// renamed over it, so a reader sees the old file or the new one, never a
// part. 0 or the errno of the failing call (the old file then stays).
int ReplaceLauncher(const std::string& path, const std::string& text);

// Removes the launcher at `path`: 0 or the errno of unlink.
int RemoveLauncher(const std::string& path);

}  // namespace talvinor
