#include "codec/ContentProbe.h"

#include <cstring>

#include "codec/OggProbe.h"
#include "platform/File.h"

namespace talvinor {

namespace {
constexpr uint32_t kWaveFileSourceCode = 0x20023;
constexpr uint32_t kVorbisFileSourceCode = 0x20024;
constexpr uint32_t kSpeexFileSourceCode = 0x20025;

bool IsWave(const uint8_t* head, uint32_t count) {
  return count > 11 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
}

struct ProbeRule {
  bool (*test)(const uint8_t* head, uint32_t count);
  uint32_t sourceCode;
};

// In the order the types are tested.
const ProbeRule kRules[] = {
    {&IsWave, kWaveFileSourceCode},
    {&IsOggVorbisHead, kVorbisFileSourceCode},
    {&IsOggSpeexHead, kSpeexFileSourceCode},
};
}  // namespace

uint32_t ProbeContent(const uint8_t* head, uint32_t count) {
  if (!head || count != kProbeBytes) return 0;
  for (const ProbeRule& rule : kRules) {
    if (rule.test(head, count)) return rule.sourceCode;
  }
  return 0;
}

uint32_t ProbeFileContent(const std::wstring& path) {
  File file;
  if (!file.Open(path, FileOpenMode::Read)) return 0;
  uint8_t head[kProbeBytes];
  uint32_t done = 0;
  if (!file.Read(head, kProbeBytes, &done) || done != kProbeBytes) return 0;
  return ProbeContent(head, done);
}

}  // namespace talvinor
