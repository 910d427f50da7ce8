#pragma once
#include <string>

namespace talvinor {

// The user's own folders on a Linux desktop.

// $XDG_CONFIG_HOME, else $HOME/.config; "" without either.
std::wstring UserConfigFolder();

// The XDG music folder, as `xdg-user-dir MUSIC` gives it: XDG_MUSIC_DIR from
// user-dirs.dirs in the config folder ("$HOME/..." or an absolute path),
// else $HOME/Music; "" without a home.
std::wstring UserMusicFolder();

// Whether files can be created in `folder` (tried with a file that is
// removed again, so that a read-only mount or a folder of another user
// answers no even for root).
bool FolderWritable(const std::wstring& folder);

// Creates `folder` and the folders above it that are missing (mode 0700 for
// the new ones when `privateMode`, else 0755). Returns 0 or the errno value.
int CreateFolderPath(const std::wstring& folder, bool privateMode);

}  // namespace talvinor
