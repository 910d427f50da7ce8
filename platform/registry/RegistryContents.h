#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talvinor {

// The handset's value types, with their registry numbers. Other numbers can
// be stored and read back too; only these two have typed accessors.
enum class RegistryType : uint32_t {
  String = 1,  // REG_SZ: UTF-16LE text with its terminating NUL
  Dword = 4,   // REG_DWORD: 4 bytes, little-endian
};

// One stored value: its type and its data bytes, as the handset keeps them,
// so a reader can tell a REG_DWORD of 4 bytes from anything else.
struct RegistryValue {
  RegistryType type = RegistryType::Dword;
  std::vector<uint8_t> data;

  static RegistryValue FromDword(uint32_t value);
  static RegistryValue FromString(std::wstring_view text);
  // The number when this is a REG_DWORD of exactly 4 bytes.
  bool AsDword(uint32_t* value) const;
  // The text when this is a REG_SZ of whole UTF-16 units (up to its first NUL).
  bool AsString(std::wstring* text) const;

  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

// The whole store in memory: keys ("Software\Sharp\PhoneStatus") holding
// named values. Key and value names compare without regard to ASCII case,
// as the handset's registry does.
//
// The text form is line-based, like an exported registry file:
//   [SYSTEM\CurrentControlSet\Control\Power\Timeouts]
//   "BattSuspendTimeout"=dword:0000012c
//   "Owner"="text with \\ and \" escaped"
//   "Odd"=hex(4):2c,01
// Lines that cannot be read (a damaged file, a hand edit gone wrong) are
// counted, traced, and kept word for word where they stood, so rewriting the
// store never loses what it could not understand.
class RegistryContents {
 public:
  RegistryContents();
  // Reads a store's text; `source` names it in trace lines.
  static RegistryContents Parse(std::string_view text, const std::string& source);
  std::string Format() const;

  bool HasKey(std::wstring_view key) const;
  // The value, or null when the key or the value is missing.
  const RegistryValue* Find(std::wstring_view key, std::wstring_view name) const;
  // Stores `value`, creating the key when missing. False for a key or name
  // the text form cannot hold (an empty key, control characters).
  bool Set(std::wstring_view key, std::wstring_view name, const RegistryValue& value);
  // True when a value was removed.
  bool Remove(std::wstring_view key, std::wstring_view name);

  // Lines of the text that could not be read.
  uint32_t DamagedLines() const { return m_damagedLines; }
  // Rises with every change that alters the store.
  uint32_t Revision() const { return m_revision; }

  static bool IsUsableKey(std::wstring_view key);
  static bool IsUsableName(std::wstring_view name);

 private:
  struct Line {
    bool isValue = false;
    std::wstring name;    // when isValue
    RegistryValue value;  // when isValue
    std::string raw;      // otherwise: the line as it stood
  };
  struct Section {
    std::wstring key;  // empty for the lines before the first key
    // A key line that cannot be read starts a lost section: it and the lines
    // up to the next key belong to no key and are kept as they stand.
    bool lost = false;
    std::string rawHeader;  // when lost
    std::vector<Line> lines;
  };

  Section* FindSection(std::wstring_view key);
  const Section* FindSection(std::wstring_view key) const;

  std::vector<Section> m_sections;  // the first one holds the lines before any key
  uint32_t m_damagedLines = 0;
  uint32_t m_revision = 0;
};

}  // namespace talvinor
