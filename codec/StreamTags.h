#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace talvinor {

class AudioComponent;

// Stream tags: (name, value) entries in stored order. Files keep their text
// in the ANSI code page (CP932), never UTF-8, so that files written by the
// handset and by this program read the same.
using TagList = std::vector<std::pair<std::wstring, std::wstring>>;
using AnsiTagList = std::vector<std::pair<std::string, std::string>>;

// Names and values of the tags the program writes itself.
inline constexpr wchar_t kTagRecorder[] = L"RECORDER";
inline constexpr wchar_t kTagRecordDate[] = L"RECORDDATE";
inline constexpr wchar_t kTagConverter[] = L"CONVERTER";
inline constexpr wchar_t kTagConvertDate[] = L"CONVERTDATE";
inline constexpr wchar_t kTagReceiveDate[] = L"RECEIVEDATE";
inline constexpr wchar_t kTagTelNo[] = L"TELNO";
inline constexpr wchar_t kTagTelName[] = L"TELNAME";
inline constexpr wchar_t kProgramTagValue[] = L"TALVINOR";

// The vendor string of every Speex comment packet the program writes.
inline constexpr char kSpeexVendor[] = "Xiph.Org libSpeex. Ny-LOB Speex Helper.";
inline constexpr size_t kSpeexVendorLength = sizeof(kSpeexVendor) - 1;
static_assert(kSpeexVendorLength == 39, "the vendor string is 39 bytes");

// The tag date form: "2024/3/7 09:05:01".
std::wstring FormatTagDate(const std::tm& time);
// The current local time in that form.
std::wstring FormatTagDateNow();

// How the player shows one entry: name, "=" only when both name and value
// are non-empty, value.
std::wstring FormatTagForDisplay(const std::wstring& name, const std::wstring& value);

// A copy of a component's tag list.
TagList GetComponentTags(AudioComponent* component);

// The Speex comment packet for `tags`: vendor length and vendor string,
// comment count, then each entry as a length and "name=value" in CP932. All
// integers 32-bit little-endian, no framing bit.
std::vector<uint8_t> BuildSpeexCommentPacket(const TagList& tags);

// Parses a Speex comment packet into 8-bit entries: the vendor string first
// (split at its first '=', else named "Comment"), then each comment split at
// its first '=' (a comment without one is all name). Every length is checked
// against the end of the packet; false (and no entries) when one runs past.
bool ParseSpeexCommentPacket(const uint8_t* data, size_t size, AnsiTagList* entries);

}  // namespace talvinor
