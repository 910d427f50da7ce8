#include "recorder/SceneRecording.h"

#include <cwchar>

#include "codec/SpeexEncoder.h"
#include "codec/VorbisEncoder.h"
#include "codec/WaveFileEncoder.h"

namespace talvinor {

std::wstring SceneFormatLine(const CONFIG_SCENE& scene) {
  wchar_t text[128];
  const unsigned khz = scene.m_SampleRate / 1000;
  const unsigned bits = scene.m_SampleBits;
  switch (scene.m_CodecMode) {
    case kCodecPcm:
      std::swprintf(text, 128, L"WAV %ukhz %ubit", khz, bits);
      break;
    case kCodecVorbis: {
      // Whole part and first decimal, both cut towards zero as the integer
      // conversions of the handset cut them.
      const int whole = static_cast<int>(scene.m_RecOvQuality);
      const int tenths = static_cast<int>(scene.m_RecOvQuality * 10) % 10;
      std::swprintf(text, 128, L"Vorbis %ukhz %ubit Q%d.%d", khz, bits, whole, tenths);
      break;
    }
    case kCodecSpeex:
      std::swprintf(text, 128, L"Speex %ukhz %ubit Q%u CQ%u", khz, bits, scene.m_RecSpxQuality,
                    scene.m_RecSpxComplexity);
      break;
    default:
      std::swprintf(text, 128, L"録音形式を設定してください。");
      break;
  }
  std::wstring line = text;
  if (scene.m_Cnannels == 1) line += L" モノラル";
  if (scene.m_Cnannels == 2) line += L" ステレオ";
  return line;
}

RefPtr<AudioEncoder> CreateSceneEncoder(const CONFIG_SCENE& scene) {
  RefPtr<AudioEncoder> encoder;
  RefPtr<VorbisEncoder> vorbis;
  RefPtr<SpeexEncoder> speex;
  switch (scene.m_CodecMode) {
    case kCodecPcm: encoder = Create<WaveFileEncoder>(); break;
    case kCodecVorbis: encoder = vorbis = Create<VorbisEncoder>(); break;
    case kCodecSpeex: encoder = speex = Create<SpeexEncoder>(); break;
    default: return nullptr;
  }
  encoder->SetFormat(static_cast<uint16_t>(scene.m_Cnannels), scene.m_SampleRate,
                     static_cast<uint16_t>(scene.m_SampleBits));
  // A codec's settings reach only an encoder that is not running yet.
  if (vorbis && !vorbis->IsRunning()) vorbis->SetQuality(static_cast<float>(scene.m_RecOvQuality));
  if (speex && !speex->IsRunning()) {
    SpeexSettings settings;
    settings.quality = static_cast<int32_t>(scene.m_RecSpxQuality);
    settings.complexity = static_cast<int32_t>(scene.m_RecSpxComplexity);
    settings.denoise = static_cast<int32_t>(scene.m_SpxDenoise);
    settings.vad = static_cast<int32_t>(scene.m_SpxVAD);
    settings.dtx = static_cast<int32_t>(scene.m_SpxDTX);
    speex->SetSpeexSettings(settings);
  }
  return encoder;
}

const wchar_t* SceneFileExtension(const CONFIG_SCENE& scene) {
  switch (scene.m_CodecMode) {
    case kCodecPcm: return L".wav";
    case kCodecVorbis: return L".ogg";
    case kCodecSpeex: return L".spx";
    default: return nullptr;
  }
}

std::wstring RecordingFileName(const std::tm& local, const wchar_t* extension) {
  wchar_t name[64];
  std::swprintf(name, 64, L"rz%02d%02d%02d_%02d%02d%02d", (local.tm_year + 1900) % 100, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return std::wstring(name) + (extension ? extension : L"");
}

}  // namespace talvinor
