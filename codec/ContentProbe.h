#pragma once
#include <cstdint>
#include <string>

namespace talvinor {

// The number of leading bytes the probe looks at; a file must have them all.
inline constexpr uint32_t kProbeBytes = 64;

// Recognises a sound file by its first bytes and returns the class code of
// the source that reads it (0x20023 for WAV), or 0 when the type is unknown.
// Types are tested in a fixed order: WAV, Ogg Vorbis, Ogg Speex.
uint32_t ProbeContent(const uint8_t* head, uint32_t count);

// Reads the first 64 bytes of `path` and probes them; 0 when the file cannot
// be read or is shorter than that.
uint32_t ProbeFileContent(const std::wstring& path);

}  // namespace talvinor
