#pragma once
#include <atomic>
#include <cstdint>

#include "core/MemoryBuffer.h"

namespace talvinor {

// A counted block of audio bytes: the storage, the valid part (pointer and
// length) and one spare word for its owner. The same buffers circulate
// between threads; Reserve keeps storage that is large enough, so steady
// operation allocates nothing.
class AudioBuffer : public RefObject {
  TALVINOR_CLASS_CODES(0x20102)

 public:
  AudioBuffer();

  // Makes the storage hold at least `size` bytes: kept when large enough,
  // otherwise replaced by 8192 bytes (size <= 8192) or `size` rounded up to
  // 4096. Clears the valid part. Returns the start of the storage, or null
  // when the allocation failed.
  uint8_t* Reserve(uint32_t size);

  uint8_t* Storage() const;           // start of the storage (null when none)
  uint32_t Capacity() const;          // storage size in bytes
  uint8_t* Data() const { return m_data; }  // first valid byte (null when none)
  uint32_t Length() const { return m_length; }
  // Marks `length` bytes from `data` (inside the storage) as valid.
  void SetValid(uint8_t* data, uint32_t length) {
    m_data = data;
    m_length = length;
  }
  // Valid part = the first `length` bytes of the storage.
  void SetValidLength(uint32_t length) { SetValid(Storage(), length); }
  void Empty() { SetValid(nullptr, 0); }

  uint32_t UserWord() const { return m_userWord; }
  void SetUserWord(uint32_t word) { m_userWord = word; }

  // Buffers alive and storage blocks allocated by Reserve in the process,
  // for leak and steady-state checks.
  static int32_t LiveCount() { return s_live.load(); }
  static uint64_t StorageAllocations() { return s_allocations.load(); }

 protected:
  ~AudioBuffer() override;

 private:
  RefPtr<HeapBuffer> m_storage;
  uint8_t* m_data = nullptr;
  uint32_t m_length = 0;
  uint32_t m_userWord = 0;
  static std::atomic<int32_t> s_live;
  static std::atomic<uint64_t> s_allocations;
};

}  // namespace talvinor
