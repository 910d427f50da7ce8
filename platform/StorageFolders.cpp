#include "platform/StorageFolders.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

namespace {

std::string HomeFolder() {
  if (const char* home = ::getenv("HOME"); home && *home) return home;
  if (const struct passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

std::string UserName() {
  if (const struct passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name) return pw->pw_name;
  if (const char* user = ::getenv("USER"); user && *user) return user;
  return {};
}

bool IsFolder(const std::wstring& path) {
  uint32_t attributes = 0;
  return !path.empty() && GetFileAttributes(path, &attributes) && (attributes & kAttrDirectory);
}

std::wstring WithoutTrailingSlash(std::wstring path) {
  while (path.size() > 1 && path.back() == L'/') path.pop_back();
  return path;
}

bool ReadWholeFile(const std::wstring& path, std::string* text) {
  std::ifstream in(WideToUtf8(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return true;
}

}  // namespace

DocumentsFolderSources DefaultDocumentsFolderSources() {
  DocumentsFolderSources sources;
  const std::string home = HomeFolder();
  sources.home = Utf8ToWide(home);
  std::string config;
  if (const char* xdg = ::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    config = xdg;
  } else if (!home.empty()) {
    config = home + "/.config";
  }
  if (!config.empty()) sources.userDirsFile = Utf8ToWide(config + "/user-dirs.dirs");
  return sources;
}

bool ReadUserDirsValue(const std::string& text, const std::string& key, const std::string& home, std::string* value) {
  std::istringstream lines(text);
  std::string line;
  bool found = false;
  while (std::getline(lines, line)) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line[at] == '#') continue;
    if (line.compare(at, key.size(), key) != 0) continue;
    at += key.size();
    if (at >= line.size() || line[at] != '=') continue;
    ++at;
    if (at >= line.size() || line[at] != '"') continue;
    ++at;
    std::string result;
    if (line.compare(at, 5, "$HOME") == 0 && (at + 5 == line.size() || line[at + 5] == '/' || line[at + 5] == '"')) {
      result = home;
      at += 5;
    } else if (at < line.size() && line[at] != '/') {
      continue;  // only absolute paths and $HOME-relative ones are valid
    }
    bool closed = false;
    for (; at < line.size(); ++at) {
      const char c = line[at];
      if (c == '\\' && at + 1 < line.size()) {
        result += line[++at];
      } else if (c == '"') {
        closed = true;
        break;
      } else {
        result += c;
      }
    }
    if (!closed) continue;
    // The last valid line wins, as the XDG tools read it.
    *value = result;
    found = true;
  }
  return found;
}

bool FindDocumentsFolder(const DocumentsFolderSources& sources, std::wstring* folder) {
  const std::wstring home = WithoutTrailingSlash(sources.home);
  std::string text;
  if (!sources.userDirsFile.empty() && ReadWholeFile(sources.userDirsFile, &text)) {
    std::string value;
    if (ReadUserDirsValue(text, "XDG_DOCUMENTS_DIR", WideToUtf8(home), &value)) {
      const std::wstring documents = WithoutTrailingSlash(Utf8ToWide(value));
      // XDG_DOCUMENTS_DIR="$HOME/" switches the folder off.
      if (documents == home) return false;
      if (IsFolder(documents)) {
        *folder = documents;
        return true;
      }
      Trace("FindDocumentsFolder - XDG_DOCUMENTS_DIR \"%s\" is not a folder\r\n", value.c_str());
    }
  }
  if (home.empty()) return false;
  const std::wstring fallback = JoinPath(home, L"Documents");
  if (!IsFolder(fallback)) return false;
  *folder = fallback;
  return true;
}

bool GetDocumentsFolder(std::wstring* folder) { return FindDocumentsFolder(DefaultDocumentsFolderSources(), folder); }

StorageCardSearch DefaultStorageCardSearch() {
  StorageCardSearch search;
  const std::string user = UserName();
  if (!user.empty()) {
    search.bases.push_back(Utf8ToWide("/media/" + user));
    search.bases.push_back(Utf8ToWide("/run/media/" + user));
  }
  return search;
}

std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::vector<std::wstring> ListStorageCards(const StorageCardSearch& search) {
  std::vector<std::wstring> cards;
  std::string table;
  if (!ReadWholeFile(search.mountTable, &table)) {
    Trace("ListStorageCards - the mount table \"%s\" cannot be read\r\n", WideToUtf8(search.mountTable).c_str());
    return cards;
  }
  std::vector<std::wstring> mounted;
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, point;
    if (!(fields >> device >> point)) continue;
    mounted.push_back(WithoutTrailingSlash(Utf8ToWide(UnescapeMountField(point))));
  }
  for (const std::wstring& rawBase : search.bases) {
    const std::wstring base = WithoutTrailingSlash(rawBase);
    for (const std::wstring& point : mounted) {
      if (point.size() <= base.size() + 1 || point.compare(0, base.size(), base) != 0 || point[base.size()] != L'/')
        continue;
      // Directly under the base only: /media/me/CARD, not /media/me/CARD/inner.
      if (point.find(L'/', base.size() + 1) != std::wstring::npos) continue;
      bool seen = false;
      for (const std::wstring& card : cards) seen = seen || card == point;
      if (!seen && IsFolder(point)) cards.push_back(point);
    }
  }
  return cards;
}

}  // namespace talvinor
