#include "ui/SceneFormat.h"

#include <cmath>
#include <cwchar>

namespace talvinor {

bool SceneFormat::IsHeavy(const WaveFormatEntry& entry) { return entry.rate >= 16000 || entry.channels >= 2; }

std::wstring SceneFormat::ChoiceText(const WaveFormatEntry& entry, uint32_t codec) {
  wchar_t text[64];
  std::swprintf(text, 64, L"%d Hz / %d-bit / ", static_cast<int>(entry.rate), static_cast<int>(entry.bits));
  std::wstring result = text;
  result += entry.channels == 1 ? L"モノラル" : entry.channels == 2 ? L"ステレオ" : L"マルチCh";
  if (codec == kCodecVorbis && IsHeavy(entry)) result += L" (HARD)";
  return result;
}

std::vector<FormatChoice> SceneFormat::Offered(uint32_t capabilities, uint32_t codec) {
  std::vector<FormatChoice> offered;
  for (const WaveFormatEntry& entry : WaveFormats()) {
    if ((capabilities & entry.capabilityBit) == 0) continue;
    offered.push_back({entry.number, ChoiceText(entry, codec), IsHeavy(entry)});
  }
  return offered;
}

PresetOutcome SceneFormat::ApplyPreset(CONFIG_SCENE* scene, std::span<const FormatChoice> offered) {
  const ScenePreset* preset = FindScenePreset(scene->m_CodecMode, scene->m_QualityMode);
  if (!preset) return PresetOutcome::Custom;
  const WaveFormatEntry* chosen = nullptr;
  for (uint32_t candidate : preset->candidates) {
    for (const FormatChoice& choice : offered) {
      if (choice.number == candidate) {
        chosen = FindWaveFormat(candidate);
        break;
      }
    }
    if (chosen) break;
  }
  const PresetOutcome outcome = chosen ? PresetOutcome::Applied : PresetOutcome::Unsupported;
  if (!chosen) chosen = &WaveFormats()[0];
  scene->m_Cnannels = chosen->channels;
  scene->m_SampleBits = chosen->bits;
  scene->m_SampleRate = chosen->rate;
  scene->m_RecOvQuality = preset->vorbisQuality;
  scene->m_RecSpxQuality = preset->speexQuality;
  scene->m_RecSpxComplexity = preset->speexComplexity;
  scene->m_SpxDenoise = 1;
  scene->m_SpxVAD = 0;
  scene->m_SpxDTX = 0;
  return outcome;
}

void SceneFormat::ApplyCodecDefaults(CONFIG_SCENE* scene, uint32_t codec) {
  scene->m_CodecMode = codec;
  scene->m_Cnannels = 1;
  scene->m_SampleBits = 16;
  switch (codec) {
    case kCodecVorbis:
      scene->m_QualityMode = 2;
      scene->m_SampleRate = 11025;
      scene->m_RecOvQuality = 0.3;
      break;
    case kCodecSpeex:
      scene->m_QualityMode = 3;
      scene->m_SampleRate = 44100;
      scene->m_RecSpxQuality = 9;
      break;
    default:
      scene->m_QualityMode = 3;
      scene->m_SampleRate = 44100;
      break;
  }
}

PresetCaptions SceneFormat::Captions(uint32_t codec) {
  switch (codec) {
    case kCodecVorbis:
      return {L"High", L"Middle - 品質重視、サイズ大", L"Low - 長時間向け、低品質", false, L"Ogg Vorbis 品質"};
    case kCodecSpeex:
      return {L"High 2 - 高品質 Ultra Wide", L"High 1 - バランス Ultra Wide", L"Middle - 長時間 Wide Band", true,
              L"Speex 品質"};
    default:
      return {L"High - 音楽 CD 品質", L"Middle - FM ラジオ品質", L"Low - アナログ電話品質", true, L""};
  }
}

int SceneFormat::MatchingChoice(const CONFIG_SCENE& scene, std::span<const FormatChoice> offered) {
  for (size_t i = 0; i < offered.size(); ++i) {
    const WaveFormatEntry* entry = FindWaveFormat(offered[i].number);
    if (entry && entry->rate == scene.m_SampleRate && entry->bits == scene.m_SampleBits &&
        entry->channels == scene.m_Cnannels) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::vector<ValueItem> SceneFormat::VorbisQualityItems() {
  std::vector<ValueItem> items;
  for (int i = -1; i <= 10; ++i) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%1.1f ", i * 0.1);
    std::wstring item = text;
    if (i == -1) item += L"低品質";
    if (i == 3) item += L"標準";
    if (i == 10) item += L"高品質";
    items.push_back({item, i});
  }
  return items;
}

std::vector<ValueItem> SceneFormat::SpeexQualityItems() {
  std::vector<ValueItem> items;
  for (int i = 0; i <= 10; ++i) {
    std::wstring item = std::to_wstring(i) + L" ";
    if (i == 0) item += L"低品質/短ビットレート";
    if (i == 8) item += L"標準";
    if (i == 10) item += L"高品質/長ビットレート";
    items.push_back({item, i});
  }
  return items;
}

std::vector<ValueItem> SceneFormat::ComplexityItems() {
  std::vector<ValueItem> items;
  for (int i = 1; i <= 10; ++i) {
    std::wstring item = std::to_wstring(i);
    if (i == 1) item += L" 低品質/低負荷";
    if (i == 2) item += L" 推奨(下)";
    if (i == 4) item += L" 推奨(上)";
    if (i == 10) item += L" 高品質/高負荷";
    items.push_back({item, i});
  }
  return items;
}

std::vector<ValueItem> SceneFormat::ScreenOffIntervalItems() {
  return {{L"5 秒", 5000},   {L"10 秒", 10000}, {L"20 秒", 20000},   {L"30 秒", 30000},
          {L"1 分", 60000},  {L"3 分", 180000}, {L"5 分", 300000}, {L"10 分", 600000}};
}

// Stored qualities are tenths; the small allowance keeps 0.3 (2.999...) at 3.
int SceneFormat::VorbisData(double quality) { return static_cast<int>(std::trunc(quality * 10 + (quality < 0 ? -1e-6 : 1e-6))); }

int SceneFormat::IndexOf(const std::vector<ValueItem>& items, int data, int fallback) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].data == data) return static_cast<int>(i);
  }
  return fallback;
}

}  // namespace talvinor
