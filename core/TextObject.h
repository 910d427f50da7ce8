#pragma once
#include <string>

#include "core/RefPtr.h"

namespace talvinor {

// A counted wide text, shared between owners (command texts, tag values).
class TextObject : public RefObject {
  TALVINOR_CLASS_CODES(0x1101)

 public:
  TextObject() = default;
  explicit TextObject(const wchar_t* text) : m_text(text ? text : L"") {}
  explicit TextObject(std::wstring text) : m_text(std::move(text)) {}

  void Assign(const TextObject& other) { m_text = other.m_text; }
  void Assign(const wchar_t* text) { m_text = text ? text : L""; }
  void Assign(std::wstring text) { m_text = std::move(text); }

  const wchar_t* CStr() const { return m_text.c_str(); }
  const std::wstring& Text() const { return m_text; }
  size_t Length() const { return m_text.size(); }
  void TrimBlanks();

 private:
  std::wstring m_text;
};

}  // namespace talvinor
