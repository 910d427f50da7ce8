#include "command/AttributeList.h"

namespace talvinor {

bool AttributeList::Add(std::wstring name, AttributeValue value) {
  if (Find(name)) return false;
  m_items.emplace_back(std::move(name), std::move(value));
  return true;
}

const AttributeValue* AttributeList::Find(std::wstring_view name) const {
  for (const auto& item : m_items)
    if (item.first == name) return &item.second;
  return nullptr;
}

}  // namespace talvinor
