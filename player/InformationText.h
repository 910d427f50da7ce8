#pragma once
#include <cstdint>
#include <string>

#include "audio/WaveFormat.h"
#include "codec/StreamTags.h"

namespace talvinor {

// The player's information view about the file playing: its path, then,
// when the format is known, the codec, channels, rate, bits and length, then
// the tags. Lines end with "\r\n".
struct InformationSource {
  std::wstring path;
  bool hasFormat = false;
  uint32_t sourceCode = 0;  // class code of the reader: 0x20023 WAV, 0x20024 Vorbis, 0x20025 Speex
  WaveFormat format;
  uint32_t lengthMs = 0;
  TagList tags;
};
std::wstring BuildInformationText(const InformationSource& source);

// "%02d:%02d:%02d" of a time in milliseconds.
std::wstring FormatClock(uint32_t milliseconds);

}  // namespace talvinor
