#pragma once
#include <string>
#include <string_view>

#include "settings/Config.h"
#include "settings/RecordParser.h"

namespace talvinor {

// Reads talvinor.ini text into a CONFIG. Values are positional; the file's
// own definitions of CONFIG and CONFIG_SCENE say which key each position
// holds. A key the file lacks keeps its value in the target (the caller
// passes a record with the defaults); a field the model does not know is
// ignored. A value of the wrong kind, a negative number outside the Vorbis
// qualities, or a number too large to store again fails the parse.
//
// The target is filled as the parse goes: on failure it holds part of the
// file, so callers parse into a scratch record.
class SettingsParser : public RecordParser {
  TALVINOR_CLASS_CODES(0x18201, 0x18200)

 public:
  bool ParseInto(std::wstring_view text, CONFIG* target);

 protected:
  std::wstring_view MagicLine() const override;
  uint32_t TokenizerOptions() const override;
  bool OnMainData(const RecordAttributes& attributes, const std::vector<RecordItem>& record) override;

 private:
  template <typename Record>
  bool MapRecord(const std::vector<ConfigField<Record>>& fields, const RecordType* fileType,
                 const std::vector<RecordItem>& items, Record* target, const std::wstring& where);
  bool MapScenes(const RecordItem& item);
  bool Reject(const std::wstring& detail, size_t position);

  CONFIG* m_target = nullptr;  // only during ParseInto
};

}  // namespace talvinor
