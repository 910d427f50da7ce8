#pragma once
#include <cstdint>
#include <string>

#include "audio/AudioEncoder.h"
#include "audio/AudioSource.h"

namespace talvinor {

// A new file source of the class the content probe named (0x20023 WAV,
// 0x20024 Ogg Vorbis, 0x20025 Ogg Speex), or
// null for a code without a source.
RefPtr<AudioSource> CreateFileSource(uint32_t sourceClassCode);

// A new encoder for a destination file, chosen by its extension
// (case-insensitive; ".wav", ".ogg", ".spx"), or null when no encoder writes
// that type.
RefPtr<AudioEncoder> CreateEncoderForPath(const std::wstring& path);

}  // namespace talvinor
