#include "settings/SettingsFormat.h"

#include <cmath>

namespace talvinor {

namespace {

template <typename Record>
RecordType MakeRecordType(const wchar_t* name, const std::vector<ConfigField<Record>>& fields) {
  RecordType type;
  type.name = name;
  for (const auto& f : fields) {
    switch (f.kind) {
      case ConfigFieldKind::Number:
      case ConfigFieldKind::Fraction: type.fields.push_back({L"NUM", f.key, false}); break;
      case ConfigFieldKind::Text: type.fields.push_back({L"STR", f.key, false}); break;
      case ConfigFieldKind::SceneList: type.fields.push_back({L"CONFIG_SCENE", f.key, true}); break;
    }
  }
  return type;
}

// Writes one value of `record` (a number or a text) without indent or line end.
template <typename Record>
void WriteValue(const Record& record, const ConfigField<Record>& f, RecordWriter* w) {
  switch (f.kind) {
    case ConfigFieldKind::Number: w->WriteNumber(static_cast<int32_t>(record.*f.number)); break;
    case ConfigFieldKind::Fraction: w->WriteNumber(QualityToStored(record.*f.fraction)); break;
    case ConfigFieldKind::Text: w->WriteString(record.*f.text); break;
    case ConfigFieldKind::SceneList: break;
  }
}

}  // namespace

int32_t QualityToStored(double quality) {
  if (!std::isfinite(quality)) return 0;
  // A hair away from zero so that a tenth held inexactly (0.7 is
  // 0.6999...) still gives its own digit; 0.45 stays 4.
  double tenths = std::trunc(quality * 10 + (quality >= 0 ? 1e-9 : -1e-9));
  if (tenths > INT32_MAX) return INT32_MAX;
  if (tenths < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(tenths);
}

double StoredToQuality(int64_t stored) { return static_cast<double>(stored) / 10.0; }

RefPtr<TypeRegistry> SettingsTypes() {
  auto types = Create<TypeRegistry>();
  for (const wchar_t* base : {L"VAR", L"NUM", L"STR"}) types->Add(RecordType{base, true, {}});
  types->Add(MakeRecordType(L"CONFIG_SCENE", SceneFields()));
  types->Add(MakeRecordType(L"CONFIG", ConfigFields()));
  return types;
}

void WriteSettings(const CONFIG& config, RecordWriter* w) {
  w->WriteText(kSettingsMagicLine);
  w->WriteNewLine();
  w->WriteNewLine();
  RefPtr<TypeRegistry> types = SettingsTypes();
  for (const RecordType* type : types->InOrder()) {
    if (type->isBase) w->WriteTypeDefinition(*type, true);
  }
  w->WriteNewLine();
  w->WriteTypeDefinition(*types->Find(L"CONFIG_SCENE"), false);
  w->WriteTypeDefinition(*types->Find(L"CONFIG"), false);

  w->WriteDataHeader(L"CONFIG");
  w->WriteNewLine();
  w->SetLevel(0);
  w->WriteIndent(w->Level());
  w->WriteText(L"{");
  w->SetLevel(w->Level() + 1);
  w->WriteNewLine();
  for (const auto& f : ConfigFields()) {
    if (f.kind != ConfigFieldKind::SceneList) {
      w->WriteIndent(w->Level());
      WriteValue(config, f, w);
      w->WriteNewLine();
      continue;
    }
    w->WriteIndent(w->Level());
    w->WriteArrayHeader(L"CONFIG_SCENE");
    w->WriteNewLine();
    w->WriteIndent(w->Level());
    w->WriteText(L"{");
    w->SetLevel(w->Level() + 1);
    w->WriteNewLine();
    for (const auto& scene : config.m_RecSceneList) {
      // One scene per line: "{ v1; v2; ...;  }" with the closing brace
      // indented by the level, as the original files have it.
      w->WriteIndent(w->Level());
      w->WriteText(L"{");
      w->SetLevel(w->Level() + 1);
      for (const auto& sf : SceneFields()) {
        w->WriteText(L" ");
        WriteValue(*scene, sf, w);
      }
      w->SetLevel(w->Level() - 1);
      w->WriteIndent(w->Level());
      w->WriteText(L"}");
      w->WriteNewLine();
    }
    w->SetLevel(w->Level() - 1);
    w->WriteIndent(w->Level());
    w->WriteText(L"}");
    w->WriteNewLine();
  }
  w->SetLevel(w->Level() - 1);
  w->WriteIndent(w->Level());
  w->WriteText(L"}");
  w->WriteNewLine();
}

std::wstring SettingsText(const CONFIG& config) {
  auto writer = Create<RecordWriter>();
  WriteSettings(config, writer.Get());
  return writer->ToText();
}

bool SettingsBytes(const CONFIG& config, MemoryBuffer* buffer) {
  auto writer = Create<RecordWriter>();
  WriteSettings(config, writer.Get());
  return writer->ToBytes(buffer);
}

}  // namespace talvinor
