#include "player/InformationText.h"

#include <cwchar>

namespace talvinor {

namespace {

std::wstring Format(const wchar_t* format, uint32_t a, uint32_t b = 0) {
  wchar_t text[96];
  std::swprintf(text, 96, format, a, b);
  return text;
}

const wchar_t* CodecWord(uint32_t sourceCode) {
  switch (sourceCode) {
    case 0x20023: return L"Raw PCM ";
    case 0x20024: return L"Vorbis ";
    case 0x20025: return L"Speex ";
    default: return L"";
  }
}

}  // namespace

std::wstring FormatClock(uint32_t ms) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%02u:%02u:%02u", ms / 3600000, (ms / 60000) % 60, (ms / 1000) % 60);
  return text;
}

std::wstring BuildInformationText(const InformationSource& source) {
  std::wstring text = source.path + L"\r\n";
  if (source.hasFormat) {
    text += L"【形式】\r\n";
    text += CodecWord(source.sourceCode);
    const uint32_t channels = source.format.channels;
    if (channels == 1) {
      text += L"モノラル";
    } else if (channels == 2) {
      text += L"ステレオ";
    } else {
      text += Format(L"チャンネル数 %u", channels);
    }
    text += Format(L" %u Hz %u bit / 長さ ", source.format.samplesPerSec, source.format.bitsPerSample);
    const uint32_t len = source.lengthMs;
    if (len / 3600000) text += Format(L"%u 時間 ", len / 3600000);
    if (len / 60000) text += Format(L"%u 分 ", (len / 60000) % 60);
    text += Format(L"%u 秒", (len / 1000) % 60);
    if ((len / 10) % 100) text += Format(L" %u", (len / 10) % 100);
    text += L"\r\n";
  }
  text += L"【タグ】\r\n";
  if (source.tags.empty()) {
    text += L"（タグはありません）";
  }
  for (const auto& [name, value] : source.tags) text += FormatTagForDisplay(name, value) + L"\r\n";
  return text;
}

}  // namespace talvinor
