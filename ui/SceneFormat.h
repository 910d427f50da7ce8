#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "settings/ConfigScene.h"
#include "settings/WaveFormatTable.h"

namespace talvinor {

// One row of the sample-format list the settings page offers.
struct FormatChoice {
  uint32_t number;  // the format table's row id (the list item's data)
  std::wstring text;
  bool heavy;       // too much work for a small device when encoded as Vorbis
};

// One item of a fixed value list: its text and data.
struct ValueItem {
  std::wstring text;
  int data;
};

// The captions of the three preset buttons (High, Middle, Low) and of the
// codec's quality label for one codec.
struct PresetCaptions {
  const wchar_t* high;
  const wchar_t* middle;
  const wchar_t* low;
  bool highEnabled;
  const wchar_t* qualityLabel;  // empty for WAV: no quality list
};

// What applying a scene's preset came to.
enum class PresetOutcome {
  Custom,       // quality mode 0: the user's own format, nothing changed
  Applied,      // a candidate the device offers was taken
  Unsupported,  // no candidate is offered: the first table row was taken
};

// The scene-format rules of the settings page, apart from any widget: which
// rows a device offers, what a preset or a codec change does to a scene.
class SceneFormat {
 public:
  static constexpr const wchar_t* kUnsupportedMessage = L"サウンドデバイスはこのモードをサポートしません。";
  static constexpr const wchar_t* kHeavyWarning =
      L"選択した形式で録音すると、モバイル機器では処理能力が不足し、音抜けが発生する可能性があります。";

  // Rows at 16 kHz and above are heavy, and below that the stereo ones.
  static bool IsHeavy(const WaveFormatEntry& entry);
  // The list text of a row, with " (HARD)" for heavy rows under Vorbis.
  static std::wstring ChoiceText(const WaveFormatEntry& entry, uint32_t codec);
  // The table rows whose capability bit `capabilities` has, in table order.
  static std::vector<FormatChoice> Offered(uint32_t capabilities, uint32_t codec);
  // Sets the scene's format and codec values from its quality mode's preset,
  // taking the first candidate among `offered`.
  static PresetOutcome ApplyPreset(CONFIG_SCENE* scene, std::span<const FormatChoice> offered);
  // What a codec change sets before its preset applies.
  static void ApplyCodecDefaults(CONFIG_SCENE* scene, uint32_t codec);
  static PresetCaptions Captions(uint32_t codec);
  // The index among `offered` of the scene's own format, or -1.
  static int MatchingChoice(const CONFIG_SCENE& scene, std::span<const FormatChoice> offered);

  // The fixed lists and the item each shows for a value it lacks.
  static std::vector<ValueItem> VorbisQualityItems();  // data: quality x 10
  static std::vector<ValueItem> SpeexQualityItems();
  static std::vector<ValueItem> ComplexityItems();
  static std::vector<ValueItem> ScreenOffIntervalItems();  // data: milliseconds
  static constexpr int kVorbisFallbackItem = 3;
  static constexpr int kSpeexFallbackItem = 9;
  static constexpr int kComplexityFallbackItem = 2;
  // The Vorbis list's data for a stored quality (tenths, cut toward zero).
  static int VorbisData(double quality);
  // The index of the item carrying `data`, else `fallback`.
  static int IndexOf(const std::vector<ValueItem>& items, int data, int fallback);
};

}  // namespace talvinor
