#include "settings/TypeRegistry.h"

namespace talvinor {

int RecordType::FindField(std::wstring_view fieldName) const {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == fieldName) return static_cast<int>(i);
  }
  return -1;
}

void TypeRegistry::Add(RecordType type) {
  auto found = m_index.find(type.name);
  if (found != m_index.end()) {
    m_types[found->second] = std::move(type);
    return;
  }
  m_index.emplace(type.name, m_types.size());
  m_types.push_back(std::move(type));
}

const RecordType* TypeRegistry::Find(std::wstring_view name) const {
  auto found = m_index.find(std::wstring(name));
  return found == m_index.end() ? nullptr : &m_types[found->second];
}

std::vector<const RecordType*> TypeRegistry::InOrder() const {
  std::vector<const RecordType*> out;
  out.reserve(m_types.size());
  for (const RecordType& t : m_types) out.push_back(&t);
  return out;
}

}  // namespace talvinor
