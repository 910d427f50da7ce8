#include "core/RefObject.h"

#include <cassert>
#include <cstdlib>

#include "platform/Trace.h"

namespace talvinor {

RefObject::~RefObject() = default;

void RefObject::Destroy() { delete this; }

uint32_t RefObject::AddRef() {
  uint32_t word = m_word.fetch_add(1, std::memory_order_relaxed) + 1;
  return word & kCountMask;
}

uint32_t RefObject::Release() {
  uint32_t before = m_word.fetch_sub(1, std::memory_order_acq_rel);
  if ((before & kCountMask) == 0) {
    // Releasing a dead object: a reference was dropped twice somewhere.
    Trace("RefObject::Release - count underflow on type %08xh\r\n", GetTypeCode());
    assert(!"RefObject count underflow");
    std::abort();
  }
  uint32_t count = (before - 1) & kCountMask;
  if (count > 0) return count;
  Destroy();
  return 0;
}

RefObject* RefObject::Query(uint32_t code) {
  if (!IsKindOf(code)) return nullptr;
  AddRef();
  return this;
}

void RefObject::MarkCreated() {
  uint32_t expected = 1;
  m_word.compare_exchange_strong(expected, kCreationMark | 1u, std::memory_order_relaxed);
}

}  // namespace talvinor
