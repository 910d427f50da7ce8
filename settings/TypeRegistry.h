#pragma once
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/RefPtr.h"

namespace talvinor {

// One field of a record type: "NUM m_WaveOutId;" or "CONFIG_SCENE m_RecSceneList array;".
struct RecordField {
  std::wstring typeName;
  std::wstring name;
  bool isArray = false;
};

// A named type: a base type (no fields) or a record type with ordered fields.
struct RecordType {
  std::wstring name;
  bool isBase = false;
  std::vector<RecordField> fields;

  // Position of the first field called `fieldName`, or -1.
  int FindField(std::wstring_view fieldName) const;
};

// The named types of one record text, on the writing and the reading side
// alike. Names compare exactly (case-sensitive). The base types are "VAR",
// "NUM" and "STR".
class TypeRegistry : public RefObject {
  TALVINOR_CLASS_CODES(0x18220)

 public:
  // Registers `type`; a later type of the same name replaces the earlier one.
  void Add(RecordType type);
  const RecordType* Find(std::wstring_view name) const;
  // The types in the order they were first registered.
  std::vector<const RecordType*> InOrder() const;

 private:
  std::vector<RecordType> m_types;
  std::unordered_map<std::wstring, size_t> m_index;
};

}  // namespace talvinor
