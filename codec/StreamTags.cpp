#include "codec/StreamTags.h"

#include <cstdio>
#include <cstring>

#include "audio/AudioComponent.h"
#include "platform/CodePage.h"

namespace talvinor {

namespace {
void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Reads a length-prefixed text at `*offset`; false when it runs past `size`.
bool ReadCounted(const uint8_t* data, size_t size, size_t* offset, std::string* text) {
  if (size - *offset < 4) return false;
  uint32_t length = Get32(data + *offset);
  *offset += 4;
  if (size - *offset < length) return false;
  text->assign(reinterpret_cast<const char*>(data + *offset), length);
  *offset += length;
  return true;
}

// The text up to its first zero byte, as the stored texts are C strings.
std::string UpToZero(const std::string& text) {
  size_t zero = text.find('\0');
  return zero == std::string::npos ? text : text.substr(0, zero);
}

// Splits at the first '=' before any zero byte into (name, value); a text
// without one is all name.
std::pair<std::string, std::string> Split(const std::string& raw) {
  std::string text = UpToZero(raw);
  size_t eq = text.find('=');
  if (eq == std::string::npos) return {text, std::string()};
  return {text.substr(0, eq), text.substr(eq + 1)};
}
}  // namespace

std::wstring FormatTagDate(const std::tm& t) {
  wchar_t text[64];
  std::swprintf(text, sizeof text / sizeof text[0], L"%d/%d/%d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

std::wstring FormatTagDateNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FormatTagDate(local);
}

std::wstring FormatTagForDisplay(const std::wstring& name, const std::wstring& value) {
  if (!name.empty() && !value.empty()) return name + L"=" + value;
  return name + value;
}

TagList GetComponentTags(AudioComponent* component) {
  TagList tags;
  if (!component) return tags;
  for (uint32_t i = 0, n = component->GetTagCount(); i < n; ++i) {
    std::wstring name, value;
    if (!component->GetTagName(i, &name) || !component->GetTagValue(i, &value)) break;
    tags.emplace_back(std::move(name), std::move(value));
  }
  return tags;
}

std::vector<uint8_t> BuildSpeexCommentPacket(const TagList& tags) {
  std::vector<uint8_t> packet;
  Put32(&packet, static_cast<uint32_t>(kSpeexVendorLength));
  packet.insert(packet.end(), kSpeexVendor, kSpeexVendor + kSpeexVendorLength);
  Put32(&packet, static_cast<uint32_t>(tags.size()));
  for (const auto& [name, value] : tags) {
    std::string entry = WideToAnsi(name + L"=" + value);
    Put32(&packet, static_cast<uint32_t>(entry.size()));
    packet.insert(packet.end(), entry.begin(), entry.end());
  }
  return packet;
}

bool ParseSpeexCommentPacket(const uint8_t* data, size_t size, AnsiTagList* entries) {
  AnsiTagList parsed;
  size_t offset = 0;
  std::string vendor;
  if (!data || !ReadCounted(data, size, &offset, &vendor)) return false;
  std::string vendorText = UpToZero(vendor);
  size_t eq = vendorText.find('=');
  if (eq == std::string::npos) {
    parsed.emplace_back("Comment", vendorText);
  } else {
    parsed.emplace_back(vendorText.substr(0, eq), vendorText.substr(eq + 1));
  }
  if (size - offset < 4) return false;
  uint32_t count = Get32(data + offset);
  offset += 4;
  for (uint32_t i = 0; i < count; ++i) {
    std::string comment;
    if (!ReadCounted(data, size, &offset, &comment)) return false;
    parsed.push_back(Split(comment));
  }
  if (entries) *entries = std::move(parsed);
  return true;
}

}  // namespace talvinor
