#include "platform/registry/RegistryContents.h"

#include <cstdio>

#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

namespace {

constexpr const char* kHeaderComment = "; Talvinor registry: keys in [brackets], one value a line";

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

bool HasControlCharacter(std::wstring_view text) {
  for (wchar_t c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// UTF-8 that reads back to the same bytes; Utf8ToWide alone would quietly
// turn a damaged sequence into U+FFFD.
bool DecodeUtf8(std::string_view bytes, std::wstring* text) {
  std::wstring decoded = Utf8ToWide(bytes);
  if (WideToUtf8(decoded) != bytes) return false;
  *text = std::move(decoded);
  return true;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHexNumber(std::string_view text, uint32_t* number) {
  if (text.empty() || text.size() > 8) return false;
  uint32_t value = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return false;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  *number = value;
  return true;
}

// "aa,bb,cc" (or nothing) into bytes.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>* bytes) {
  bytes->clear();
  text = TrimSpaces(text);
  if (text.empty()) return true;
  for (;;) {
    size_t comma = text.find(',');
    std::string_view item = TrimSpaces(text.substr(0, comma));
    if (item.size() != 2 || HexDigit(item[0]) < 0 || HexDigit(item[1]) < 0) return false;
    bytes->push_back(static_cast<uint8_t>(HexDigit(item[0]) * 16 + HexDigit(item[1])));
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

// A quoted text at the start of `text`; `rest` is what follows the closing quote.
bool ParseQuoted(std::string_view text, std::wstring* value, std::string_view* rest) {
  if (text.empty() || text.front() != '"') return false;
  std::string bytes;
  for (size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      *rest = text.substr(i + 1);
      return DecodeUtf8(bytes, value);
    }
    if (c == '\\') {
      if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return false;
      c = text[++i];
    }
    bytes.push_back(c);
  }
  return false;  // no closing quote
}

std::string Quote(std::wstring_view text) {
  std::string out = "\"";
  for (char c : WideToUtf8(text)) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

bool ParseValue(std::string_view text, RegistryValue* value) {
  text = TrimSpaces(text);
  if (text.substr(0, 6) == "dword:") {
    uint32_t number = 0;
    if (!ParseHexNumber(text.substr(6), &number)) return false;
    *value = RegistryValue::FromDword(number);
    return true;
  }
  if (!text.empty() && text.front() == '"') {
    std::wstring string;
    std::string_view rest;
    if (!ParseQuoted(text, &string, &rest) || !TrimSpaces(rest).empty()) return false;
    if (HasControlCharacter(string)) return false;  // written as hex(1) instead
    *value = RegistryValue::FromString(string);
    return true;
  }
  uint32_t type = 3;  // "hex:" is binary data
  if (text.substr(0, 4) == "hex(") {
    size_t close = text.find("):");
    if (close == std::string_view::npos || !ParseHexNumber(text.substr(4, close - 4), &type)) return false;
    text.remove_prefix(close + 2);
  } else if (text.substr(0, 4) == "hex:") {
    text.remove_prefix(4);
  } else {
    return false;
  }
  value->type = static_cast<RegistryType>(type);
  return ParseHexBytes(text, &value->data);
}

std::string FormatValue(const RegistryValue& value) {
  uint32_t number = 0;
  std::wstring text;
  char buffer[32];
  if (value.AsDword(&number)) {
    std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
    return buffer;
  }
  // Only a text that reads back to exactly these bytes goes in quotes.
  if (value.AsString(&text) && !HasControlCharacter(text) && RegistryValue::FromString(text) == value)
    return Quote(text);
  std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<uint32_t>(value.type));
  std::string out = buffer;
  for (size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x", value.data[i]);
    out += buffer;
  }
  return out;
}

}  // namespace

RegistryValue RegistryValue::FromDword(uint32_t number) {
  RegistryValue value;
  value.type = RegistryType::Dword;
  value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number >> 16),
                static_cast<uint8_t>(number >> 24)};
  return value;
}

RegistryValue RegistryValue::FromString(std::wstring_view text) {
  RegistryValue value;
  value.type = RegistryType::String;
  std::u16string units = WideToUtf16(text);
  units.push_back(u'\0');
  for (char16_t unit : units) {
    value.data.push_back(static_cast<uint8_t>(unit & 0xFF));
    value.data.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return value;
}

bool RegistryValue::AsDword(uint32_t* number) const {
  if (type != RegistryType::Dword || data.size() != 4) return false;
  *number = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
            static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
  return true;
}

bool RegistryValue::AsString(std::wstring* text) const {
  if (type != RegistryType::String || data.size() % 2 != 0) return false;
  std::u16string units;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit == u'\0') break;
    units.push_back(unit);
  }
  *text = Utf16ToWide(units);
  return true;
}

bool RegistryContents::IsUsableKey(std::wstring_view key) { return !key.empty() && !HasControlCharacter(key); }

bool RegistryContents::IsUsableName(std::wstring_view name) { return !HasControlCharacter(name); }

RegistryContents::RegistryContents() { m_sections.emplace_back(); }

RegistryContents RegistryContents::Parse(std::string_view text, const std::string& source) {
  RegistryContents contents;
  Section* section = &contents.m_sections.front();
  uint32_t lineNumber = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    std::string_view line = TrimSpaces(raw);
    if (line.empty()) continue;

    bool understood = false;
    Line entry;
    if (line.front() == ';') {
      understood = true;  // a comment, kept as it stands
    } else if (line.front() == '[' && line.back() == ']' && line.size() > 2) {
      std::wstring key;
      if (DecodeUtf8(line.substr(1, line.size() - 2), &key) && IsUsableKey(key)) {
        // A key written twice gathers its values in its first section.
        section = contents.FindSection(key);
        if (!section) {
          contents.m_sections.push_back(Section{key, false, {}, {}});
          section = &contents.m_sections.back();
        }
        continue;
      }
      // The values that follow are not given to the key before.
      ++contents.m_damagedLines;
      Trace("Registry - key line %u of \"%s\" cannot be read; it and its values are kept as they stand\r\n",
            lineNumber, source.c_str());
      contents.m_sections.push_back(Section{L"", true, std::string(raw), {}});
      section = &contents.m_sections.back();
      continue;
    } else if (line.front() == '"' && section != &contents.m_sections.front() && !section->lost) {
      std::string_view rest;
      if (ParseQuoted(line, &entry.name, &rest) && IsUsableName(entry.name)) {
        rest = TrimSpaces(rest);
        if (!rest.empty() && rest.front() == '=' && ParseValue(rest.substr(1), &entry.value)) {
          entry.isValue = true;
          understood = true;
        }
      }
    }
    if (!understood) {
      ++contents.m_damagedLines;
      Trace("Registry - line %u of \"%s\" cannot be read; skipped and kept as it stands\r\n", lineNumber,
            source.c_str());
    }
    if (entry.isValue) {
      bool replaced = false;
      for (Line& existing : section->lines) {
        if (existing.isValue && SameName(existing.name, entry.name)) {
          // The later line wins, as it would on import.
          Trace("Registry - value \"%s\" is written twice in \"%s\"; the later one is kept\r\n",
                WideToUtf8(entry.name).c_str(), source.c_str());
          existing.value = entry.value;
          replaced = true;
          break;
        }
      }
      if (replaced) continue;
    } else {
      entry.raw = std::string(raw);
    }
    section->lines.push_back(std::move(entry));
  }
  return contents;
}

std::string RegistryContents::Format() const {
  std::string out;
  const Section& preamble = m_sections.front();
  if (preamble.lines.empty()) out += std::string(kHeaderComment) + "\n";
  for (const Line& line : preamble.lines) out += line.raw + "\n";
  for (size_t i = 1; i < m_sections.size(); ++i) {
    const Section& section = m_sections[i];
    out += section.lost ? "\n" + section.rawHeader + "\n" : "\n[" + WideToUtf8(section.key) + "]\n";
    for (const Line& line : section.lines) {
      if (line.isValue)
        out += Quote(line.name) + "=" + FormatValue(line.value) + "\n";
      else
        out += line.raw + "\n";
    }
  }
  return out;
}

RegistryContents::Section* RegistryContents::FindSection(std::wstring_view key) {
  for (size_t i = 1; i < m_sections.size(); ++i)
    if (!m_sections[i].lost && SameName(m_sections[i].key, key)) return &m_sections[i];
  return nullptr;
}

const RegistryContents::Section* RegistryContents::FindSection(std::wstring_view key) const {
  return const_cast<RegistryContents*>(this)->FindSection(key);
}

bool RegistryContents::HasKey(std::wstring_view key) const { return FindSection(key) != nullptr; }

const RegistryValue* RegistryContents::Find(std::wstring_view key, std::wstring_view name) const {
  const Section* section = FindSection(key);
  if (!section) return nullptr;
  for (const Line& line : section->lines)
    if (line.isValue && SameName(line.name, name)) return &line.value;
  return nullptr;
}

bool RegistryContents::Set(std::wstring_view key, std::wstring_view name, const RegistryValue& value) {
  if (!IsUsableKey(key) || !IsUsableName(name)) return false;
  Section* section = FindSection(key);
  if (!section) {
    m_sections.push_back(Section{std::wstring(key), false, {}, {}});
    section = &m_sections.back();
  }
  for (Line& line : section->lines) {
    if (line.isValue && SameName(line.name, name)) {
      if (line.value == value) return true;
      line.value = value;
      ++m_revision;
      return true;
    }
  }
  Line line;
  line.isValue = true;
  line.name = std::wstring(name);
  line.value = value;
  section->lines.push_back(std::move(line));
  ++m_revision;
  return true;
}

bool RegistryContents::Remove(std::wstring_view key, std::wstring_view name) {
  Section* section = FindSection(key);
  if (!section) return false;
  for (auto it = section->lines.begin(); it != section->lines.end(); ++it) {
    if (it->isValue && SameName(it->name, name)) {
      section->lines.erase(it);
      ++m_revision;
      return true;
    }
  }
  return false;
}

}  // namespace talvinor
