#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/registry/RegistryContents.h"

namespace talvinor {

// What reading the store came to.
enum class RegistryReadResult {
  Read,     // the file was read (lines it could not understand are skipped)
  Missing,  // there is no store yet: every key is missing
  Failed,   // the file exists but could not be read (traced); nothing is known
};

// The per-user stand-in of the handset's registry: keys holding REG_DWORD
// and REG_SZ values, kept in one text file (see RegistryContents for its
// form) in the user's config folder, $XDG_CONFIG_HOME/talvinor/registry or
// ~/.config/talvinor/registry.
//
// Safe between processes: every change reads, edits and rewrites the file
// while holding an flock on "registry.lock" beside it, and the new text goes
// to a temporary file that is flushed to disk and then renamed over the old
// one, so a reader (who takes no lock) sees the old store or the new one,
// never half of one, and a crash or a full disk mid-write leaves the old
// store as it was. A store that exists but cannot be read is never
// overwritten.
//
// Each call reads the file afresh (as the handset opens and closes the key
// around every call), so values written by another process are seen at once.
// The object itself only names the folder; any thread may use its own copy.
class Registry {
 public:
  // The store in `folder` (which is created when a change needs it).
  explicit Registry(std::string folder);
  // The store in the user's config folder.
  static Registry ForUser();
  // $XDG_CONFIG_HOME/talvinor when XDG_CONFIG_HOME is an absolute path,
  // else $HOME/.config/talvinor (the home folder of the password database
  // when HOME is not set).
  static std::string UserFolder();

  const std::string& Folder() const { return m_folder; }
  std::string FilePath() const;

  RegistryReadResult Read(RegistryContents* contents) const;

  // True when the key exists (RegOpenKeyExW succeeds).
  bool KeyExists(const std::wstring& key) const;
  // The value as stored, whatever its type.
  bool QueryValue(const std::wstring& key, const std::wstring& name, RegistryValue* value) const;
  // Only a REG_DWORD of exactly 4 bytes is read; anything else (another
  // type, another size, a missing value) is not, and `value` is untouched.
  bool QueryDword(const std::wstring& key, const std::wstring& name, uint32_t* value) const;
  // Only a REG_SZ is read.
  bool QueryString(const std::wstring& key, const std::wstring& name, std::wstring* value) const;

  // Store a value, creating the key when missing.
  bool SetValue(const std::wstring& key, const std::wstring& name, const RegistryValue& value);
  bool SetDword(const std::wstring& key, const std::wstring& name, uint32_t value);
  bool SetString(const std::wstring& key, const std::wstring& name, const std::wstring& value);
  // True when the value is gone afterwards (also when there was none).
  bool DeleteValue(const std::wstring& key, const std::wstring& name);

  // Reads the store, lets `change` edit it and writes it back, all under the
  // lock, so no other process's change comes in between. The file is only
  // rewritten when `change` altered something. False when the store could
  // not be read, locked or written; the file is then as it was.
  bool Update(const std::function<void(RegistryContents&)>& change);

  // Test seam: after this many bytes every write of a store fails as on a
  // full disk. nullopt writes normally.
  static void SetWriteLimitForTesting(std::optional<uint32_t> bytes);

 private:
  bool WriteFile(const RegistryContents& contents);

  std::string m_folder;
};

// The registry's own folder and name rules, shared with its tests.
inline constexpr const char* kRegistryFileName = "registry";
inline constexpr const char* kRegistryLockName = "registry.lock";
inline constexpr const char* kRegistryTempName = "registry.tmp";

}  // namespace talvinor
