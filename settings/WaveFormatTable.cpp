#include "settings/WaveFormatTable.h"

#include <array>

namespace talvinor {

namespace {

// Within each group of four: mono 8-bit, stereo 8-bit, mono 16-bit, stereo
// 16-bit; the capability bits are those of the group's standard rate.
constexpr std::array<WaveFormatEntry, 32> kFormats = {{
    {0, 0x1, 1, 8, 6615},     {1, 0x2, 2, 8, 6615},     {2, 0x4, 1, 16, 6615},     {3, 0x8, 2, 16, 6615},
    {4, 0x1, 1, 8, 8820},     {5, 0x2, 2, 8, 8820},     {6, 0x4, 1, 16, 8820},     {7, 0x8, 2, 16, 8820},
    {28, 0x1, 1, 8, 8000},    {29, 0x2, 2, 8, 8000},    {30, 0x4, 1, 16, 8000},    {31, 0x8, 2, 16, 8000},
    {8, 0x1, 1, 8, 11025},    {9, 0x2, 2, 8, 11025},    {10, 0x4, 1, 16, 11025},   {11, 0x8, 2, 16, 11025},
    {32, 0x10, 1, 8, 16000},  {33, 0x20, 2, 8, 16000},  {34, 0x40, 1, 16, 16000},  {35, 0x80, 2, 16, 16000},
    {12, 0x10, 1, 8, 22050},  {13, 0x20, 2, 8, 22050},  {14, 0x40, 1, 16, 22050},  {15, 0x80, 2, 16, 22050},
    {36, 0x100, 1, 8, 32000}, {37, 0x200, 2, 8, 32000}, {38, 0x400, 1, 16, 32000}, {39, 0x800, 2, 16, 32000},
    {16, 0x100, 1, 8, 44100}, {17, 0x200, 2, 8, 44100}, {18, 0x400, 1, 16, 44100}, {19, 0x800, 2, 16, 44100},
}};

constexpr uint32_t kPcm1[] = {8, 9, 10, 11};
constexpr uint32_t kPcm2[] = {14, 15, 12, 13};
constexpr uint32_t kPcm3[] = {18, 19, 16, 17};
constexpr uint32_t kVorbis1[] = {2, 3, 0, 5};
constexpr uint32_t kVorbis2[] = {10, 11, 8, 9};
constexpr uint32_t kSpeex1[] = {34, 35, 32, 33};
constexpr uint32_t kSpeex2[] = {38, 39, 36, 37};
constexpr uint32_t kSpeex3[] = {18, 19, 16, 17};

// Codec values only matter to their own codec; the others get the lowest
// value of their range (complexity 1, not 0, which the range check would
// raise again and count as a repair at every load).
const ScenePreset kPresets[3][3] = {
    {{kPcm1, 0.0, 0, 1}, {kPcm2, 0.0, 0, 1}, {kPcm3, 0.0, 0, 1}},
    {{kVorbis1, 0.0, 0, 1}, {kVorbis2, 0.3, 0, 1}, {{}, 0.4, 0, 1}},
    {{kSpeex1, 0.0, 8, 2}, {kSpeex2, 0.0, 9, 2}, {kSpeex3, 0.0, 10, 4}},
};

}  // namespace

std::span<const WaveFormatEntry> WaveFormats() { return kFormats; }

const WaveFormatEntry* FindWaveFormat(uint32_t number) {
  for (const auto& entry : kFormats) {
    if (entry.number == number) return &entry;
  }
  return nullptr;
}

const ScenePreset* FindScenePreset(uint32_t codec, uint32_t qualityMode) {
  if (codec > 2 || qualityMode < 1 || qualityMode > 3) return nullptr;
  return &kPresets[codec][qualityMode - 1];
}

}  // namespace talvinor
