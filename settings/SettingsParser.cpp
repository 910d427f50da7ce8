#include "settings/SettingsParser.h"

#include <algorithm>
#include <limits>

#include "settings/SettingsFormat.h"
#include "settings/Tokenizer.h"

namespace talvinor {

bool SettingsParser::ParseInto(std::wstring_view text, CONFIG* target) {
  m_target = target;
  bool ok = Parse(text);
  m_target = nullptr;
  return ok;
}

std::wstring_view SettingsParser::MagicLine() const { return kSettingsMagicLine; }

uint32_t SettingsParser::TokenizerOptions() const { return kSettingsTokenizerOptions; }

bool SettingsParser::Reject(const std::wstring& detail, size_t position) {
  SetRejectDetail(detail, position);
  return false;
}

template <typename Record>
bool SettingsParser::MapRecord(const std::vector<ConfigField<Record>>& fields, const RecordType* fileType,
                               const std::vector<RecordItem>& items, Record* target, const std::wstring& where) {
  if (!fileType) return true;  // no definition: every key keeps its value
  for (const auto& f : fields) {
    int position = fileType->FindField(f.key);
    if (position < 0 || static_cast<size_t>(position) >= items.size()) continue;
    const RecordItem& item = items[position];
    const std::wstring key = where + f.key;
    switch (f.kind) {
      case ConfigFieldKind::Number:
      case ConfigFieldKind::Fraction: {
        if (item.kind != RecordItemKind::Value || item.value.kind != TokenKind::Number) {
          return Reject(key + L" is not a number", item.position);
        }
        const TokenNumber& n = item.value.number;
        if (f.kind == ConfigFieldKind::Fraction) {
          target->*f.fraction = StoredToQuality(n.integer);
          break;
        }
        if (n.isFraction ? n.fraction < 0 : n.integer < 0) return Reject(key + L" is negative", item.position);
        // Stored numbers are written back with "%d"; a larger one could not be read again.
        if (n.integer > std::numeric_limits<int32_t>::max()) return Reject(key + L" is too large", item.position);
        target->*f.number = static_cast<uint32_t>(n.integer);
        break;
      }
      case ConfigFieldKind::Text:
        if (item.kind != RecordItemKind::Value || item.value.kind != TokenKind::Text) {
          return Reject(key + L" is not a text", item.position);
        }
        target->*f.text = item.value.text;
        break;
      case ConfigFieldKind::SceneList:
        if (!MapScenes(item)) return false;
        break;
    }
  }
  return true;
}

bool SettingsParser::MapScenes(const RecordItem& item) {
  std::wstring type;
  if (item.kind != RecordItemKind::Tagged || !item.attributes.Find(L"array") ||
      !item.attributes.TextOf(L"type", &type) || type != L"CONFIG_SCENE") {
    return Reject(L"m_RecSceneList is not a CONFIG_SCENE array", item.position);
  }
  const RecordType* sceneType = Types()->Find(L"CONFIG_SCENE");
  // The first eight elements fill the scenes; more are ignored, fewer leave
  // the rest as they are.
  size_t count = std::min<size_t>(item.items.size(), kSceneCount);
  for (size_t i = 0; i < count; ++i) {
    const RecordItem& element = item.items[i];
    std::wstring where = L"m_RecSceneList[" + std::to_wstring(i) + L"]";
    if (element.kind != RecordItemKind::Record) return Reject(where + L" is not a record", element.position);
    where += L".";
    if (!MapRecord(SceneFields(), sceneType, element.items, m_target->m_RecSceneList[i].Get(), where)) return false;
  }
  return true;
}

bool SettingsParser::OnMainData(const RecordAttributes& attributes, const std::vector<RecordItem>& record) {
  std::wstring type;
  if (!attributes.TextOf(L"type", &type) || type != L"CONFIG") {
    return Reject(L"the main block is not of type CONFIG", std::wstring::npos);
  }
  const RecordType* configType = Types()->Find(L"CONFIG");
  if (!configType) return Reject(L"CONFIG is not defined", std::wstring::npos);
  if (!m_target) return Reject(L"no target", std::wstring::npos);
  return MapRecord(ConfigFields(), configType, record, m_target, L"");
}

}  // namespace talvinor
