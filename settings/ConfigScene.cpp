#include "settings/ConfigScene.h"

namespace talvinor {

void CONFIG_SCENE::CopyFrom(const CONFIG_SCENE& other) {
  if (&other == this) return;
  m_Name = other.m_Name;
  m_RecTelUse = other.m_RecTelUse;
  m_CodecMode = other.m_CodecMode;
  m_QualityMode = other.m_QualityMode;
  m_Cnannels = other.m_Cnannels;
  m_SampleBits = other.m_SampleBits;
  m_SampleRate = other.m_SampleRate;
  m_RecOvQuality = other.m_RecOvQuality;
  m_RecSpxQuality = other.m_RecSpxQuality;
  m_RecSpxComplexity = other.m_RecSpxComplexity;
  m_SpxDenoise = other.m_SpxDenoise;
  m_SpxVAD = other.m_SpxVAD;
  m_SpxDTX = other.m_SpxDTX;
}

}  // namespace talvinor
