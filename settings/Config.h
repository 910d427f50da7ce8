#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/RefPtr.h"
#include "settings/ConfigScene.h"

namespace talvinor {

inline constexpr int kSceneCount = 8;

// Every user setting. One instance lives in singleton slot 12 (GetConfig());
// the constructor sets the defaults and the eight built-in scenes. Field
// names are the settings keys.
//
// Settings objects belong to the UI thread; other threads get copies.
class CONFIG : public RefObject {
  TALVINOR_CLASS_CODES(0x10000002)

 public:
  CONFIG();
  // Copies every value, scenes included, into this object's own scenes (so
  // references to the scene objects stay valid).
  void CopyFrom(const CONFIG& other);
  RefPtr<CONFIG> Clone() const;

  uint32_t m_WaveOutId = 0;
  uint32_t m_WaveInId = 0;
  uint32_t m_RecSceneSelect = 0;
  std::array<RefPtr<CONFIG_SCENE>, kSceneCount> m_RecSceneList;
  std::wstring m_RecPath;     // empty: filled with the program folder at start
  std::wstring m_RecTelPath;  // same
  std::wstring m_MemoPath;    // same
  double m_MemoOvQuality = 0.3;
  uint32_t m_MemoTelInfoInTag = 0;
  std::wstring m_MemoSrcPath;  // empty: filled with "windows/" at start
  std::wstring m_MemoSrcFile;  // empty: filled with "shrec%d.wav" at start
  uint32_t m_MemoSrcFirst = 1;
  uint32_t m_MemoSrcLast = 1;
  uint32_t m_SusPrvMode = 1;
  uint32_t m_RecJustScrOff = 0;
  uint32_t m_RecAutoScrOff = 0;
  uint32_t m_RecAutoScrOffCyc = 20000;  // milliseconds
  uint32_t m_QueryRecClose = 1;
  uint32_t m_QueryRecChange = 1;
  uint32_t m_QueryRecStop = 0;
  uint32_t m_QueryRecPause = 0;
  uint32_t m_DialKey = 0;
  uint32_t m_RecTelStart = 0;
  uint32_t m_RecTelStop = 0;
  uint32_t m_TelInfoInName = 0;
  std::wstring m_CalledCsvPath;   // empty: filled with "windows/calledhistory.dat" at start
  std::wstring m_CallingCsvPath;  // empty: filled with "windows/callinghistory.dat" at start
  uint32_t m_RecTelInfoDelay = 1000;  // milliseconds
  uint32_t m_RecTelDelay = 1000;      // milliseconds
  uint32_t m_SkinTypeId = 2;
  uint32_t m_ViewScaleId = 1;
  uint32_t m_TaskTray = 0;
};

// How a key's value is stored.
enum class ConfigFieldKind {
  Number,     // NUM, a non-negative integer
  Fraction,   // NUM holding the value x 10
  Text,       // STR
  SceneList,  // the CONFIG_SCENE array
};

// One key of a settings record, in file order, with the member it maps to.
template <typename Record>
struct ConfigField {
  const wchar_t* key;
  ConfigFieldKind kind;
  uint32_t Record::*number = nullptr;
  double Record::*fraction = nullptr;
  std::wstring Record::*text = nullptr;
};

// The keys of CONFIG_SCENE and CONFIG in file order.
const std::vector<ConfigField<CONFIG_SCENE>>& SceneFields();
const std::vector<ConfigField<CONFIG>>& ConfigFields();

}  // namespace talvinor
