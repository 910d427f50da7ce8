#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talvinor {

// The kind of an attribute value in a command text.
enum class AttributeKind {
  Integer,   // a number without a decimal point
  Fraction,  // a number with a decimal point
  Text,      // a bare word or a quoted text
};

struct AttributeValue {
  AttributeKind kind = AttributeKind::Text;
  int64_t integer = 0;  // Integer; for a Fraction, its value truncated toward zero
  double fraction = 0;  // Fraction (also set for an Integer)
  std::wstring text;    // Text
};

// The attributes of one command text in the order they were written. Names
// are unique within one list.
class AttributeList {
 public:
  // False (and nothing added) when `name` is already in the list.
  bool Add(std::wstring name, AttributeValue value);
  // The value of `name`, or null.
  const AttributeValue* Find(std::wstring_view name) const;
  size_t Count() const { return m_items.size(); }
  const std::vector<std::pair<std::wstring, AttributeValue>>& Items() const { return m_items; }
  void Clear() { m_items.clear(); }

 private:
  std::vector<std::pair<std::wstring, AttributeValue>> m_items;
};

}  // namespace talvinor
