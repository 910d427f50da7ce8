#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/MemoryBuffer.h"
#include "core/RefPtr.h"
#include "settings/TypeRegistry.h"

namespace talvinor {

// Builds a record text piece by piece. The text is kept in chunks (a new one
// starts when the current one holds more than 256 characters) and converted
// to the stored code page (CP932) in one go at the end. Line ends are CR LF.
class RecordWriter : public RefObject {
  TALVINOR_CLASS_CODES(0x18210)

 public:
  void WriteText(std::wstring_view text);
  // `count` copies of `character`.
  void WriteIndent(int count, wchar_t character = L' ');
  void WriteNewLine();
  // "type base; name="NUM"; { }" + CR LF for a base type; otherwise the
  // record type with one line per field.
  void WriteTypeDefinition(const RecordType& type, bool isBase);
  // "\"" + escaped value + "\";"
  void WriteString(std::wstring_view value);
  // "%d" + ";"
  void WriteNumber(int32_t value);
  // "data main; type=\"<typeName>\";"
  void WriteDataHeader(std::wstring_view typeName);
  // "@array; type=\"<typeName>\";"
  void WriteArrayHeader(std::wstring_view typeName);

  // The nesting level the caller indents by (starts at 0).
  int Level() const { return m_level; }
  void SetLevel(int level) { m_level = level; }

  std::wstring ToText() const;
  // Converts the whole text to CP932 into `buffer`, sized by a first pass
  // over the converted chunks. False when the buffer cannot be allocated.
  bool ToBytes(MemoryBuffer* buffer) const;

  // Backslash, apostrophe, double quote, TAB, LF and CR escaped, in that order.
  static std::wstring Escape(std::wstring_view text);

 private:
  static constexpr size_t kChunkLimit = 256;
  std::vector<std::wstring> m_chunks;
  int m_level = 0;
};

}  // namespace talvinor
