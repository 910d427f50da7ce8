#pragma once
#include <cstdint>

namespace talvinor {

// The Ogg half of the content probe, on the first 64 bytes of a file: an Ogg
// page ("OggS") whose first packet names the codec. Vorbis is tested before
// Speex, so a head naming both plays as Vorbis.
bool IsOggVorbisHead(const uint8_t* head, uint32_t count);
bool IsOggSpeexHead(const uint8_t* head, uint32_t count);

}  // namespace talvinor
