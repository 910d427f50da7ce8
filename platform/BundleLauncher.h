#pragma once
#include <string>

namespace talvinor {

// What refreshing a bundle's launcher did.
enum class LauncherRefresh {
  Current,    // it already named the program and icon where they are
  Rewritten,  // its Exec= and Icon= now name them
  Absent,     // no launcher in the folder (an installed program: its own is elsewhere)
  Left,       // not ours to change (a link out of the folder, not writable, not a launcher)
  Failed,     // the new file could not be written; the old one stays
};

// Points the launcher `folder`/talvinor.desktop at the program `program`
// and the icon `folder`/talvinor.svg, so that a bundle moved as a whole
// still starts from its menu entry. Only the Exec= program and an absolute
// Icon= change; every other line, and the arguments after the program, stay
// as they are. The file is replaced at once, never rewritten in place.
LauncherRefresh RefreshBundleLauncher(const std::string& folder, const std::string& program);

// The same for the running program's own folder (/proc/self/exe).
LauncherRefresh RefreshOwnBundleLauncher();

}  // namespace talvinor
