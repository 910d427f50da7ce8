#include "codec/OggProbe.h"

#include <cstring>

namespace talvinor {

namespace {
bool StartsOggPage(const uint8_t* head, uint32_t count) {
  return head && count >= 4 && std::memcmp(head, "OggS", 4) == 0;
}

// True when `word` starts at some offset from 4 up to `last`.
bool Contains(const uint8_t* head, uint32_t count, const char* word, uint32_t length, uint32_t last) {
  for (uint32_t at = 4; at <= last && at + length <= count; ++at) {
    if (std::memcmp(head + at, word, length) == 0) return true;
  }
  return false;
}
}  // namespace

bool IsOggVorbisHead(const uint8_t* head, uint32_t count) {
  return StartsOggPage(head, count) && count >= 7 && Contains(head, count, "vorbis", 6, count - 7);
}

bool IsOggSpeexHead(const uint8_t* head, uint32_t count) {
  return StartsOggPage(head, count) && Contains(head, count, "Speex", 5, 58);
}

}  // namespace talvinor
