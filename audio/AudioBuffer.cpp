#include "audio/AudioBuffer.h"

namespace talvinor {

std::atomic<int32_t> AudioBuffer::s_live{0};
std::atomic<uint64_t> AudioBuffer::s_allocations{0};

namespace {
constexpr uint32_t kMinimumStorage = 8192;
constexpr uint32_t kStorageGranule = 4096;
}  // namespace

AudioBuffer::AudioBuffer() { s_live.fetch_add(1); }

AudioBuffer::~AudioBuffer() { s_live.fetch_sub(1); }

uint8_t* AudioBuffer::Reserve(uint32_t size) {
  m_data = nullptr;
  m_length = 0;
  if (!m_storage || m_storage->GetSize() < size || !m_storage->GetPointer()) {
    uint64_t bytes = size <= kMinimumStorage
                         ? kMinimumStorage
                         : (static_cast<uint64_t>(size) + kStorageGranule - 1) / kStorageGranule * kStorageGranule;
    if (bytes > 0xFFFFFFFFu) bytes = size;  // a size near 4 GiB: exact
    m_storage = nullptr;
    RefPtr<HeapBuffer> storage = Create<HeapBuffer>(static_cast<uint32_t>(bytes));
    s_allocations.fetch_add(1);
    if (!storage->Allocate()) return nullptr;
    m_storage = std::move(storage);
  }
  return m_storage->GetPointer();
}

uint8_t* AudioBuffer::Storage() const { return m_storage ? m_storage->GetPointer() : nullptr; }

uint32_t AudioBuffer::Capacity() const { return m_storage ? m_storage->GetSize() : 0; }

}  // namespace talvinor
