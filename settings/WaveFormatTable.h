#pragma once
#include <cstdint>
#include <span>

namespace talvinor {

// A standard PCM format and the capture-capability bit (dwFormats) a device
// must report for it.
struct WaveFormatEntry {
  uint32_t number;
  uint32_t capabilityBit;
  uint32_t channels;
  uint32_t bits;
  uint32_t rate;
};

// The 32 formats scene presets choose from.
std::span<const WaveFormatEntry> WaveFormats();
// The entry numbered `number`, or null.
const WaveFormatEntry* FindWaveFormat(uint32_t number);

// What quality mode 1-3 of a codec sets: the candidate formats in order of
// preference and the codec values.
struct ScenePreset {
  std::span<const uint32_t> candidates;
  double vorbisQuality;
  uint32_t speexQuality;
  uint32_t speexComplexity;
};

// The preset of `codec` (0-2) and `qualityMode` (1-3); null outside those.
const ScenePreset* FindScenePreset(uint32_t codec, uint32_t qualityMode);

// The format used when a device supports none of a preset's candidates.
inline constexpr uint32_t kFallbackFormatNumber = 0;

}  // namespace talvinor
