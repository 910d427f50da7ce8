#include "settings/RecordWriter.h"

#include <cstdio>
#include <cstring>

#include "platform/CodePage.h"

namespace talvinor {

void RecordWriter::WriteText(std::wstring_view text) {
  if (m_chunks.empty() || m_chunks.back().size() > kChunkLimit) m_chunks.emplace_back();
  m_chunks.back().append(text);
}

void RecordWriter::WriteIndent(int count, wchar_t character) {
  if (count > 0) WriteText(std::wstring(static_cast<size_t>(count), character));
}

void RecordWriter::WriteNewLine() { WriteText(L"\r\n"); }

void RecordWriter::WriteTypeDefinition(const RecordType& type, bool isBase) {
  WriteText(L"type");
  if (isBase) WriteText(L" base;");
  WriteText(L" name=\"");
  WriteText(type.name);
  WriteText(L"\";");
  if (isBase || type.fields.empty()) {
    WriteText(L" { }\r\n");
    return;
  }
  WriteText(L"\r\n{\r\n");
  for (const RecordField& field : type.fields) {
    WriteText(L" ");
    WriteText(field.typeName);
    WriteText(L" ");
    WriteText(field.name);
    if (field.isArray) WriteText(L" array");
    WriteText(L";\r\n");
  }
  WriteText(L"}\r\n\r\n");
}

std::wstring RecordWriter::Escape(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    switch (c) {
      case L'\\': out += L"\\\\"; break;
      case L'\'': out += L"\\'"; break;
      case L'"': out += L"\\\""; break;
      case L'\t': out += L"\\t"; break;
      case L'\n': out += L"\\n"; break;
      case L'\r': out += L"\\r"; break;
      default: out += c; break;
    }
  }
  return out;
}

void RecordWriter::WriteString(std::wstring_view value) {
  WriteText(L"\"");
  WriteText(Escape(value));
  WriteText(L"\";");
}

void RecordWriter::WriteNumber(int32_t value) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%d;", value);
  WriteText(text);
}

void RecordWriter::WriteDataHeader(std::wstring_view typeName) {
  WriteText(L"data main; type=\"");
  WriteText(typeName);
  WriteText(L"\";");
}

void RecordWriter::WriteArrayHeader(std::wstring_view typeName) {
  WriteText(L"@array; type=\"");
  WriteText(typeName);
  WriteText(L"\";");
}

std::wstring RecordWriter::ToText() const {
  std::wstring out;
  for (const auto& chunk : m_chunks) out += chunk;
  return out;
}

bool RecordWriter::ToBytes(MemoryBuffer* buffer) const {
  std::vector<std::string> converted;
  converted.reserve(m_chunks.size());
  size_t total = 0;
  for (const auto& chunk : m_chunks) {
    converted.push_back(WideToAnsi(chunk));
    total += converted.back().size();
  }
  if (total > 0xFFFFFFFFu) return false;
  if (!buffer->SetSize(static_cast<uint32_t>(total))) return false;
  if (total == 0) return true;
  uint8_t* p = buffer->GetPointer();
  if (!p) return false;
  for (const auto& part : converted) {
    std::memcpy(p, part.data(), part.size());
    p += part.size();
  }
  return true;
}

}  // namespace talvinor
