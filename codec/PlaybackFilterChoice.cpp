#include "codec/PlaybackFilterChoice.h"

#include "audio/Master.h"
#include "core/Singletons.h"

namespace talvinor {

const FilterChoiceEntry kFilterChoices[kFilterChoiceCount] = {
    {L"0.なし", 0, 0, 0},
    {L"B1.音量ブースト", 0, 25, 2},
    {L"B2.音量ブースト強", 0, 30, 3},
    {L"N1.ノイズ除去弱", 400, 36, 2},
    {L"N2.ノイズ除去強", 1200, 22, 4},
};

RefPtr<VolumeBoostFilter> GetVolumeBoostFilter() {
  return GetOrCreateSingleton<VolumeBoostFilter>(SingletonSlot::VolumeBoostFilter);
}

RefPtr<SmoothingFilter> GetSmoothingFilter() {
  return GetOrCreateSingleton<SmoothingFilter>(SingletonSlot::SmoothingFilter);
}

bool ApplyFilterChoice(Master* master, FilterChoice choice) {
  uint32_t index = static_cast<uint32_t>(choice);
  if (!master || index >= kFilterChoiceCount) return false;
  // The shared filters are changed only while no list holds them.
  if (!master->ClearFilters()) return false;
  const FilterChoiceEntry& entry = kFilterChoices[index];
  if (entry.smoothingWindowUs != 0) {
    RefPtr<SmoothingFilter> smoothing = GetSmoothingFilter();
    smoothing->SetWindow(entry.smoothingWindowUs);
    if (!master->AddFilter(smoothing)) return false;
  }
  if (entry.boostGain != 0) {
    RefPtr<VolumeBoostFilter> boost = GetVolumeBoostFilter();
    if (!boost->Setup(entry.boostPercent, entry.boostGain) || !master->AddFilter(boost)) return false;
  }
  return true;
}

}  // namespace talvinor
