#include "codec/CodecFactory.h"

#include <cwctype>

#include "codec/SpeexEncoder.h"
#include "codec/SpeexFileSource.h"
#include "codec/VorbisEncoder.h"
#include "codec/VorbisFileSource.h"
#include "codec/WaveFileEncoder.h"
#include "codec/WaveFileSource.h"

namespace talvinor {

namespace {
std::wstring LowerExtension(const std::wstring& path) {
  size_t slash = path.find_last_of(L'/');
  size_t dot = path.find_last_of(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return L"";
  std::wstring ext = path.substr(dot);
  for (wchar_t& c : ext) c = static_cast<wchar_t>(std::towlower(c));
  return ext;
}
}  // namespace

RefPtr<AudioSource> CreateFileSource(uint32_t sourceClassCode) {
  switch (sourceClassCode) {
    case WaveFileSource::kTypeCode: return Create<WaveFileSource>();
    case VorbisFileSource::kTypeCode: return Create<VorbisFileSource>();
    case SpeexFileSource::kTypeCode: return Create<SpeexFileSource>();
    default: return nullptr;
  }
}

RefPtr<AudioEncoder> CreateEncoderForPath(const std::wstring& path) {
  std::wstring ext = LowerExtension(path);
  if (ext == L".wav") return Create<WaveFileEncoder>();
  // ".oga" is the name the desktop gives Ogg audio; the player lists it too.
  if (ext == L".ogg" || ext == L".oga") return Create<VorbisEncoder>();
  if (ext == L".spx") return Create<SpeexEncoder>();
  return nullptr;
}

}  // namespace talvinor
