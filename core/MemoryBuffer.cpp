#include "core/MemoryBuffer.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace talvinor {

bool MemoryBuffer::SetSize(uint32_t size) {
  if (m_block && size == m_size) return true;
  Free();
  m_size = size;
  return Allocate();
}

bool MemoryBuffer::Allocate() {
  if (m_block) return true;
  // A zero-sized request still yields a distinct, valid block.
  m_block = ObtainBlock(m_size);
  return m_block != nullptr;
}

void MemoryBuffer::Free() {
  if (m_block) {
    ReleaseBlock(m_block);
    m_block = nullptr;
  }
}

uint8_t* MemoryBuffer::GetPointer() { return Allocate() ? m_block : nullptr; }

bool MemoryBuffer::CopyFrom(MemoryBuffer* other) {
  if (other == this) return GetPointer() != nullptr;
  uint8_t* source = other->GetPointer();
  if (!source || !SetSize(other->GetSize())) return false;
  if (m_size) std::memcpy(m_block, source, m_size);
  return true;
}

bool MemoryBuffer::CopyFromMemory(const void* data, uint32_t size) {
  if (!SetSize(size)) return false;
  if (size) std::memcpy(m_block, data, size);
  return true;
}

uint8_t* HeapBuffer::ObtainBlock(uint32_t size) {
  return static_cast<uint8_t*>(std::malloc(size ? size : 1));
}

void HeapBuffer::ReleaseBlock(uint8_t* block) { std::free(block); }

void HeapBuffer::TakeOver(HeapBuffer* other) {
  if (other == this) return;
  Free();
  m_block = std::exchange(other->m_block, nullptr);
  m_size = std::exchange(other->m_size, 0);
}

uint8_t* LocalBuffer::ObtainBlock(uint32_t size) {
  size_t bytes = size ? size : 1;
  void* block = (m_flags & kZeroInit) ? std::calloc(1, bytes) : std::malloc(bytes);
  return static_cast<uint8_t*>(block);
}

void LocalBuffer::ReleaseBlock(uint8_t* block) { std::free(block); }

}  // namespace talvinor
