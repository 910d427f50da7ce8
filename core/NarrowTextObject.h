#pragma once
#include <string>

#include "core/RefPtr.h"

namespace talvinor {

// A counted 8-bit text (stored-file text in the ANSI code page).
class NarrowTextObject : public RefObject {
  TALVINOR_CLASS_CODES(0x1102)

 public:
  NarrowTextObject() = default;
  explicit NarrowTextObject(const char* text) : m_text(text ? text : "") {}
  explicit NarrowTextObject(std::string text) : m_text(std::move(text)) {}

  void Assign(const NarrowTextObject& other) { m_text = other.m_text; }
  void Assign(const char* text) { m_text = text ? text : ""; }

  const char* CStr() const { return m_text.c_str(); }
  const std::string& Text() const { return m_text; }
  size_t Length() const { return m_text.size(); }
  void TrimBlanks();

 private:
  std::string m_text;
};

}  // namespace talvinor
