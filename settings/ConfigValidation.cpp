#include "settings/ConfigValidation.h"

#include <algorithm>
#include <cmath>

#include "core/ProgramPaths.h"
#include "core/TrimBlanks.h"
#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "platform/UserFolders.h"
#include "settings/ConfigStore.h"
#include "settings/WaveFormatTable.h"

namespace talvinor {

namespace {

constexpr uint32_t kSceneRates[] = {6615, 8000, 8820, 11025, 16000, 22050, 32000, 44100, 48000, 96000};

// Each helper sets `*repaired` when it changed the value.
void AtMostOne(uint32_t* value, bool* repaired) {
  if (*value > 1) {
    *value = 1;
    *repaired = true;
  }
}

void AtMost(uint32_t* value, uint32_t limit, bool* repaired) {
  if (*value > limit) {
    *value = limit;
    *repaired = true;
  }
}

void ClampRange(uint32_t* value, uint32_t low, uint32_t high, bool* repaired) {
  uint32_t v = std::clamp(*value, low, high);
  if (v != *value) {
    *value = v;
    *repaired = true;
  }
}

void ResetUnless(uint32_t* value, std::initializer_list<uint32_t> allowed, uint32_t reset, bool* repaired) {
  if (std::find(allowed.begin(), allowed.end(), *value) == allowed.end()) {
    *value = reset;
    *repaired = true;
  }
}

// A Vorbis quality: -0.1 .. 1.0. A value that is no number at all goes to
// the bottom of the range rather than staying unwritable.
void ClampQuality(double* value, bool* repaired) {
  double v = *value;
  if (!(v >= -0.1)) {
    v = -0.1;
  } else if (v > 1.0) {
    v = 1.0;
  }
  if (v != *value) {
    *value = v;
    *repaired = true;
  }
}

void Trim(std::wstring* text, bool* repaired) {
  std::wstring trimmed = *text;
  TrimBlanks(trimmed);
  if (trimmed != *text) {
    *text = std::move(trimmed);
    *repaired = true;
  }
}

}  // namespace

bool ValidateScene(CONFIG_SCENE* scene, InputCapabilities deviceFormats) {
  bool repaired = false;

  Trim(&scene->m_Name, &repaired);
  if (scene->m_Name.empty()) {
    scene->m_Name = kUnusedSceneName;
    repaired = true;
  }
  AtMostOne(&scene->m_RecTelUse, &repaired);

  if (scene->m_CodecMode > kCodecSpeex) {
    scene->m_CodecMode = kCodecVorbis;
    repaired = true;
  }
  const uint32_t codec = scene->m_CodecMode;
  const uint32_t defaultRate = codec == kCodecVorbis ? 11025 : 44100;
  AtMost(&scene->m_QualityMode, codec == kCodecVorbis ? 2 : 3, &repaired);

  if (const ScenePreset* preset = FindScenePreset(codec, scene->m_QualityMode)) {
    if (deviceFormats) {
      const WaveFormatEntry* chosen = nullptr;
      for (uint32_t number : preset->candidates) {
        const WaveFormatEntry* entry = FindWaveFormat(number);
        if (entry && (*deviceFormats & entry->capabilityBit)) {
          chosen = entry;
          break;
        }
      }
      if (!chosen) {
        chosen = FindWaveFormat(kFallbackFormatNumber);
        repaired = true;
      }
      scene->m_Cnannels = chosen->channels;
      scene->m_SampleBits = chosen->bits;
      scene->m_SampleRate = chosen->rate;
    }
    // The preset's codec values do not depend on the device.
    scene->m_RecOvQuality = preset->vorbisQuality;
    scene->m_RecSpxQuality = preset->speexQuality;
    scene->m_RecSpxComplexity = preset->speexComplexity;
  }

  ResetUnless(&scene->m_Cnannels, {1, 2}, 1, &repaired);
  ResetUnless(&scene->m_SampleBits, {8, 16}, 16, &repaired);
  if (std::find(std::begin(kSceneRates), std::end(kSceneRates), scene->m_SampleRate) == std::end(kSceneRates)) {
    scene->m_SampleRate = defaultRate;
    repaired = true;
  }
  ClampQuality(&scene->m_RecOvQuality, &repaired);
  AtMost(&scene->m_RecSpxQuality, 10, &repaired);
  ClampRange(&scene->m_RecSpxComplexity, 1, 10, &repaired);
  AtMostOne(&scene->m_SpxDenoise, &repaired);
  AtMostOne(&scene->m_SpxVAD, &repaired);
  AtMostOne(&scene->m_SpxDTX, &repaired);
  return !repaired;
}

bool ValidateConfig(CONFIG* c, WaveDeviceQuery* devices) {
  bool repaired = false;
  const uint32_t outputs = devices->OutputDeviceCount();
  const uint32_t inputs = devices->InputDeviceCount();
  if (c->m_WaveOutId >= outputs && c->m_WaveOutId != 0) {
    c->m_WaveOutId = 0;
    repaired = true;
  }
  if (c->m_WaveInId >= inputs && c->m_WaveInId != 0) {
    c->m_WaveInId = 0;
    repaired = true;
  }
  // The scenes are checked against the input device that will be used: a
  // stored device that is gone was replaced just above, and checking against
  // the gone one repaired the scenes differently at the next start.
  const InputCapabilities formats = devices->InputCapabilities(c->m_WaveInId);
  if (c->m_RecSceneSelect >= kSceneCount) {
    c->m_RecSceneSelect = 0;
    repaired = true;
  }
  for (auto& scene : c->m_RecSceneList) {
    if (!ValidateScene(scene.Get(), formats)) repaired = true;
  }
  Trim(&c->m_RecPath, &repaired);
  Trim(&c->m_RecTelPath, &repaired);
  Trim(&c->m_MemoPath, &repaired);
  ClampQuality(&c->m_MemoOvQuality, &repaired);
  AtMostOne(&c->m_MemoTelInfoInTag, &repaired);
  Trim(&c->m_MemoSrcPath, &repaired);
  Trim(&c->m_MemoSrcFile, &repaired);
  AtMost(&c->m_MemoSrcFirst, 1000, &repaired);
  AtMost(&c->m_MemoSrcLast, 1000, &repaired);
  if (c->m_MemoSrcLast < c->m_MemoSrcFirst) {
    std::swap(c->m_MemoSrcFirst, c->m_MemoSrcLast);
    repaired = true;
  }
  if (c->m_SusPrvMode > 3) {
    c->m_SusPrvMode = 1;
    repaired = true;
  }
  AtMostOne(&c->m_RecJustScrOff, &repaired);
  AtMostOne(&c->m_RecAutoScrOff, &repaired);
  AtMost(&c->m_RecAutoScrOffCyc, 1800000, &repaired);
  AtMostOne(&c->m_QueryRecClose, &repaired);
  AtMostOne(&c->m_QueryRecChange, &repaired);
  AtMostOne(&c->m_QueryRecStop, &repaired);
  AtMostOne(&c->m_QueryRecPause, &repaired);
  AtMostOne(&c->m_DialKey, &repaired);
  AtMostOne(&c->m_RecTelStart, &repaired);
  AtMostOne(&c->m_RecTelStop, &repaired);
  Trim(&c->m_CalledCsvPath, &repaired);
  Trim(&c->m_CallingCsvPath, &repaired);
  AtMost(&c->m_RecTelInfoDelay, 10000, &repaired);
  AtMost(&c->m_RecTelDelay, 10000, &repaired);
  ResetUnless(&c->m_SkinTypeId, {1, 2}, 2, &repaired);
  ResetUnless(&c->m_ViewScaleId, {1, 2}, 1, &repaired);
  return !repaired;
}

bool ValidateConfig() {
  RefPtr<CONFIG> config = GetConfig();
  RefPtr<WaveDeviceQuery> devices = GetWaveDeviceQuery();
  return ValidateConfig(config.Get(), devices.Get());
}

void FillPathDefaults(CONFIG* c, const std::wstring& recordingFolder) {
  for (std::wstring* folder : {&c->m_RecPath, &c->m_RecTelPath, &c->m_MemoPath}) {
    if (folder->empty()) *folder = recordingFolder;
  }
  if (c->m_CalledCsvPath.empty()) c->m_CalledCsvPath = L"windows/calledhistory.dat";
  if (c->m_CallingCsvPath.empty()) c->m_CallingCsvPath = L"windows/callinghistory.dat";
  if (c->m_MemoSrcPath.empty()) c->m_MemoSrcPath = L"windows/";
  if (c->m_MemoSrcFile.empty()) {
    c->m_MemoSrcFile = L"shrec%d.wav";
    c->m_MemoSrcFirst = 1;
    c->m_MemoSrcLast = 5;
  }
}

void FillPathDefaults() { FillPathDefaults(GetConfig().Get(), DefaultRecordingFolder()); }

void EnsureDefaultRecordingFolder(const CONFIG* c) {
  const std::wstring folder = DefaultRecordingFolder();
  for (const std::wstring* path : {&c->m_RecPath, &c->m_RecTelPath, &c->m_MemoPath}) {
    if (*path == folder && !FileExists(folder)) {
      if (int error = CreateFolderPath(folder, false)) TraceErrno(error, "EnsureDefaultRecordingFolder");
      return;
    }
  }
}

std::wstring ResolveSettingsPath(const std::wstring& path) {
  if (!path.empty() && path.front() == L'/') return path;
  std::wstring folder;
  if (!GetProgramFolder(&folder)) return path;
  return JoinPath(folder, path);
}

}  // namespace talvinor
