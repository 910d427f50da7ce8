#pragma once
#include <cstdint>
#include <string>

#include "core/RefPtr.h"

namespace talvinor {

// Codec of a scene (m_CodecMode).
enum SceneCodec : uint32_t {
  kCodecPcm = 0,     // linear PCM in a WAV file
  kCodecVorbis = 1,  // Ogg Vorbis
  kCodecSpeex = 2,   // Ogg Speex
};

// The name of a scene that is not in use.
inline constexpr const wchar_t* kUnusedSceneName = L"<未使用>";

// One recording preset. Field names are the settings keys (m_Cnannels is
// spelled so in every stored file). Numbers are never negative; the two
// Vorbis qualities are fractions stored as tenths.
//
// Settings objects belong to the UI thread; other threads get copies.
class CONFIG_SCENE : public RefObject {
  TALVINOR_CLASS_CODES(0x10000003)

 public:
  CONFIG_SCENE() = default;
  void CopyFrom(const CONFIG_SCENE& other);

  std::wstring m_Name = kUnusedSceneName;
  uint32_t m_RecTelUse = 0;       // 1: the scene used for call recording
  uint32_t m_CodecMode = kCodecVorbis;
  uint32_t m_QualityMode = 3;     // 0 custom, 1-3 presets
  uint32_t m_Cnannels = 1;
  uint32_t m_SampleBits = 16;
  uint32_t m_SampleRate = 44100;
  double m_RecOvQuality = 0.3;    // -0.1 .. 1.0
  uint32_t m_RecSpxQuality = 9;   // 0 .. 10
  uint32_t m_RecSpxComplexity = 2;  // 1 .. 10
  uint32_t m_SpxDenoise = 1;
  uint32_t m_SpxVAD = 0;
  uint32_t m_SpxDTX = 0;
};

}  // namespace talvinor
