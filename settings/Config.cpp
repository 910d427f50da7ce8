#include "settings/Config.h"

#include "settings/WaveFormatTable.h"

namespace talvinor {

namespace {

RefPtr<CONFIG_SCENE> MakeScene(const wchar_t* name, uint32_t codec, uint32_t qualityMode, uint32_t rate) {
  auto scene = Create<CONFIG_SCENE>();
  scene->m_Name = name;
  scene->m_CodecMode = codec;
  scene->m_QualityMode = qualityMode;
  scene->m_Cnannels = 1;
  scene->m_SampleBits = 16;
  scene->m_SampleRate = rate;
  return scene;
}

}  // namespace

CONFIG::CONFIG() {
  m_RecSceneList[0] = MakeScene(L"バランス重視", kCodecSpeex, 2, 32000);
  m_RecSceneList[0]->m_RecSpxQuality = 9;
  m_RecSceneList[1] = MakeScene(L"通話録音", kCodecSpeex, 2, 32000);
  m_RecSceneList[1]->m_RecSpxQuality = 9;
  m_RecSceneList[1]->m_RecTelUse = 1;
  m_RecSceneList[2] = MakeScene(L"高品質録音", kCodecSpeex, 3, 44100);
  m_RecSceneList[2]->m_RecSpxQuality = 9;
  m_RecSceneList[3] = MakeScene(L"長時間録音", kCodecVorbis, 0, 8820);
  m_RecSceneList[3]->m_RecOvQuality = 0.1;
  m_RecSceneList[4] = MakeScene(L"会議・受講録音", kCodecSpeex, 2, 32000);
  m_RecSceneList[4]->m_RecSpxQuality = 9;
  m_RecSceneList[5] = MakeScene(L"カラオケ録音", kCodecSpeex, 3, 44100);
  m_RecSceneList[5]->m_RecSpxQuality = 10;
  m_RecSceneList[5]->m_SpxDenoise = 0;
  m_RecSceneList[5]->m_SpxVAD = 0;
  m_RecSceneList[5]->m_SpxDTX = 0;
  m_RecSceneList[6] = MakeScene(L"リニアPCM録音", kCodecPcm, 3, 44100);
  m_RecSceneList[7] = MakeScene(L"Ogg Vorbis録音", kCodecVorbis, 2, 11025);
  m_RecSceneList[7]->m_RecOvQuality = 0.3;
  // A built-in scene on a preset already holds the preset's codec values, so
  // that untouched defaults need no repair.
  for (const auto& scene : m_RecSceneList) {
    if (const ScenePreset* preset = FindScenePreset(scene->m_CodecMode, scene->m_QualityMode)) {
      scene->m_RecOvQuality = preset->vorbisQuality;
      scene->m_RecSpxQuality = preset->speexQuality;
      scene->m_RecSpxComplexity = preset->speexComplexity;
    }
  }
}

void CONFIG::CopyFrom(const CONFIG& other) {
  if (&other == this) return;
  for (const auto& field : ConfigFields()) {
    switch (field.kind) {
      case ConfigFieldKind::Number: this->*field.number = other.*field.number; break;
      case ConfigFieldKind::Fraction: this->*field.fraction = other.*field.fraction; break;
      case ConfigFieldKind::Text: this->*field.text = other.*field.text; break;
      case ConfigFieldKind::SceneList:
        for (int i = 0; i < kSceneCount; ++i) m_RecSceneList[i]->CopyFrom(*other.m_RecSceneList[i]);
        break;
    }
  }
}

RefPtr<CONFIG> CONFIG::Clone() const {
  auto copy = Create<CONFIG>();
  copy->CopyFrom(*this);
  return copy;
}

const std::vector<ConfigField<CONFIG_SCENE>>& SceneFields() {
  using S = CONFIG_SCENE;
  using K = ConfigFieldKind;
  static const std::vector<ConfigField<S>> fields = {
      {L"m_Name", K::Text, nullptr, nullptr, &S::m_Name},
      {L"m_RecTelUse", K::Number, &S::m_RecTelUse},
      {L"m_CodecMode", K::Number, &S::m_CodecMode},
      {L"m_QualityMode", K::Number, &S::m_QualityMode},
      {L"m_Cnannels", K::Number, &S::m_Cnannels},
      {L"m_SampleBits", K::Number, &S::m_SampleBits},
      {L"m_SampleRate", K::Number, &S::m_SampleRate},
      {L"m_RecOvQuality", K::Fraction, nullptr, &S::m_RecOvQuality},
      {L"m_RecSpxQuality", K::Number, &S::m_RecSpxQuality},
      {L"m_RecSpxComplexity", K::Number, &S::m_RecSpxComplexity},
      {L"m_SpxDenoise", K::Number, &S::m_SpxDenoise},
      {L"m_SpxVAD", K::Number, &S::m_SpxVAD},
      {L"m_SpxDTX", K::Number, &S::m_SpxDTX},
  };
  return fields;
}

const std::vector<ConfigField<CONFIG>>& ConfigFields() {
  using C = CONFIG;
  using K = ConfigFieldKind;
  static const std::vector<ConfigField<C>> fields = {
      {L"m_WaveOutId", K::Number, &C::m_WaveOutId},
      {L"m_WaveInId", K::Number, &C::m_WaveInId},
      {L"m_RecSceneSelect", K::Number, &C::m_RecSceneSelect},
      {L"m_RecSceneList", K::SceneList},
      {L"m_RecPath", K::Text, nullptr, nullptr, &C::m_RecPath},
      {L"m_RecTelPath", K::Text, nullptr, nullptr, &C::m_RecTelPath},
      {L"m_MemoPath", K::Text, nullptr, nullptr, &C::m_MemoPath},
      {L"m_MemoOvQuality", K::Fraction, nullptr, &C::m_MemoOvQuality},
      {L"m_MemoTelInfoInTag", K::Number, &C::m_MemoTelInfoInTag},
      {L"m_MemoSrcPath", K::Text, nullptr, nullptr, &C::m_MemoSrcPath},
      {L"m_MemoSrcFile", K::Text, nullptr, nullptr, &C::m_MemoSrcFile},
      {L"m_MemoSrcFirst", K::Number, &C::m_MemoSrcFirst},
      {L"m_MemoSrcLast", K::Number, &C::m_MemoSrcLast},
      {L"m_SusPrvMode", K::Number, &C::m_SusPrvMode},
      {L"m_RecJustScrOff", K::Number, &C::m_RecJustScrOff},
      {L"m_RecAutoScrOff", K::Number, &C::m_RecAutoScrOff},
      {L"m_RecAutoScrOffCyc", K::Number, &C::m_RecAutoScrOffCyc},
      {L"m_QueryRecClose", K::Number, &C::m_QueryRecClose},
      {L"m_QueryRecChange", K::Number, &C::m_QueryRecChange},
      {L"m_QueryRecStop", K::Number, &C::m_QueryRecStop},
      {L"m_QueryRecPause", K::Number, &C::m_QueryRecPause},
      {L"m_DialKey", K::Number, &C::m_DialKey},
      {L"m_RecTelStart", K::Number, &C::m_RecTelStart},
      {L"m_RecTelStop", K::Number, &C::m_RecTelStop},
      {L"m_TelInfoInName", K::Number, &C::m_TelInfoInName},
      {L"m_CalledCsvPath", K::Text, nullptr, nullptr, &C::m_CalledCsvPath},
      {L"m_CallingCsvPath", K::Text, nullptr, nullptr, &C::m_CallingCsvPath},
      {L"m_RecTelInfoDelay", K::Number, &C::m_RecTelInfoDelay},
      {L"m_RecTelDelay", K::Number, &C::m_RecTelDelay},
      {L"m_SkinTypeId", K::Number, &C::m_SkinTypeId},
      {L"m_ViewScaleId", K::Number, &C::m_ViewScaleId},
      {L"m_TaskTray", K::Number, &C::m_TaskTray},
  };
  return fields;
}

}  // namespace talvinor
