#pragma once
#include <cstdint>

#include "codec/SmoothingFilter.h"
#include "codec/VolumeBoostFilter.h"

namespace talvinor {

class Master;

// The player's five listening aids, in the order of its choice box.
enum class FilterChoice : uint32_t {
  None = 0,         // "0.なし"
  Boost = 1,        // "B1.音量ブースト"
  StrongBoost = 2,  // "B2.音量ブースト強"
  WeakNoise = 3,    // "N1.ノイズ除去弱": smoothing, then a boost
  StrongNoise = 4,  // "N2.ノイズ除去強"
};

inline constexpr uint32_t kFilterChoiceCount = 5;

// What one choice puts into the playback master's list, in processing
// order: the smoothing filter (when its window is non-zero), then the boost
// (when its gain is non-zero).
struct FilterChoiceEntry {
  const wchar_t* label;
  uint32_t smoothingWindowUs;
  int32_t boostPercent;
  int32_t boostGain;
};

extern const FilterChoiceEntry kFilterChoices[kFilterChoiceCount];

// The one shared instance of each filter, made on first use and kept until
// the singletons are released.
RefPtr<VolumeBoostFilter> GetVolumeBoostFilter();
RefPtr<SmoothingFilter> GetSmoothingFilter();

// Empties the master's filter list, re-parameterises the shared filters and
// adds the choice's filters in order. False when the master refuses a change
// in its present state (the list is then left as the refusal left it) or for
// an unknown choice.
bool ApplyFilterChoice(Master* master, FilterChoice choice);

}  // namespace talvinor
