#pragma once
#include <string>
#include <vector>

namespace talvinor {

// Where the user's personal folders and removable media are on this desktop.

// What the documents folder is looked up in.
struct DocumentsFolderSources {
  std::wstring home;           // the home folder ($HOME)
  std::wstring userDirsFile;   // user-dirs.dirs ($XDG_CONFIG_HOME, else ~/.config)
};
DocumentsFolderSources DefaultDocumentsFolderSources();

// The documents folder: XDG_DOCUMENTS_DIR of user-dirs.dirs, else
// ~/Documents. False when neither names an existing folder (a value that is
// the home folder itself means "no documents folder" to XDG).
bool FindDocumentsFolder(const DocumentsFolderSources& sources, std::wstring* folder);
bool GetDocumentsFolder(std::wstring* folder);

// Where storage cards are looked for: the folders mounted directly under
// each base (/media/<user>, /run/media/<user>), as the mount table lists them.
struct StorageCardSearch {
  std::vector<std::wstring> bases;
  std::wstring mountTable = L"/proc/self/mounts";
};
StorageCardSearch DefaultStorageCardSearch();

// The mounted storage folders, base by base, each base's in the mount
// table's order; a folder that is not an existing directory is left out.
std::vector<std::wstring> ListStorageCards(const StorageCardSearch& search);

// Reads one value of a user-dirs.dirs text ("XDG_DOCUMENTS_DIR"): the
// quoted value with "$HOME" expanded and backslash escapes undone. False
// when the key is missing or its line malformed.
bool ReadUserDirsValue(const std::string& text, const std::string& key, const std::string& home, std::string* value);

// Undoes the octal escapes (\040 for a blank) of a mount table field.
std::string UnescapeMountField(const std::string& field);

}  // namespace talvinor
