#pragma once
#include <cstdint>

#include "core/RefPtr.h"

namespace talvinor {

// One contiguous block of bytes of a requested size. The block is obtained
// lazily by Allocate(); GetPointer() is null when allocation failed, and
// callers check it.
class MemoryBuffer : public RefObject {
  TALVINOR_CLASS_CODES(0x1300)

 public:
  // Keeps the block (and its contents) when `size` is the current size and a
  // block is held; otherwise frees it, records `size` and allocates.
  bool SetSize(uint32_t size);
  bool Allocate();
  void Free();
  // The data after Allocate(); allocates on demand; null on failure.
  uint8_t* GetPointer();
  uint32_t GetSize() const { return m_size; }
  bool CopyFrom(MemoryBuffer* other);
  bool CopyFromMemory(const void* data, uint32_t size);

 protected:
  ~MemoryBuffer() override = default;
  virtual uint8_t* ObtainBlock(uint32_t size) = 0;
  virtual void ReleaseBlock(uint8_t* block) = 0;

  uint8_t* m_block = nullptr;
  uint32_t m_size = 0;
};

// A buffer on the process heap. TakeOver moves another heap buffer's block
// into this one without copying.
class HeapBuffer : public MemoryBuffer {
  TALVINOR_CLASS_CODES(0x1301, 0x1300)

 public:
  HeapBuffer() = default;
  explicit HeapBuffer(uint32_t size) { m_size = size; }
  void TakeOver(HeapBuffer* other);

 protected:
  ~HeapBuffer() override { Free(); }
  uint8_t* ObtainBlock(uint32_t size) override;
  void ReleaseBlock(uint8_t* block) override;
};

// A buffer with allocation flags recorded at creation. Flag bit 0x40 asks for
// zero-filled memory; other bits are kept for their owners and ignored here.
class LocalBuffer : public MemoryBuffer {
  TALVINOR_CLASS_CODES(0x1302, 0x1300)

 public:
  static constexpr uint32_t kZeroInit = 0x40;
  explicit LocalBuffer(uint32_t size, uint32_t flags = 0) : m_flags(flags) { m_size = size; }
  uint32_t Flags() const { return m_flags; }

 protected:
  ~LocalBuffer() override { Free(); }
  uint8_t* ObtainBlock(uint32_t size) override;
  void ReleaseBlock(uint8_t* block) override;

 private:
  uint32_t m_flags;
};

}  // namespace talvinor
