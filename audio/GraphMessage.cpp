#include "audio/GraphMessage.h"

#include <mutex>
#include <new>

#include "audio/AudioBuffer.h"

namespace talvinor {

std::atomic<int32_t> GraphMessage::s_live{0};

namespace {
// Enough for every graph of a busy process; beyond it storage goes back to
// the heap, so a burst does not pin memory for good.
// Under AddressSanitizer storage is never reused, so a message used after
// its release is still caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kMaxPooled = 0;
#else
constexpr size_t kMaxPooled = 4096;
#endif

struct FreeBlock {
  FreeBlock* next;
};

struct MessagePool {
  std::mutex lock;
  FreeBlock* head = nullptr;  // guarded by lock
  size_t count = 0;           // guarded by lock
};

// Never destroyed: messages may be released by threads that outlive static
// destruction order.
MessagePool& Pool() {
  static MessagePool* pool = new MessagePool;
  return *pool;
}
}  // namespace

void* GraphMessage::operator new(size_t size) {
  if (size == sizeof(GraphMessage)) {
    MessagePool& pool = Pool();
    std::lock_guard<std::mutex> lock(pool.lock);
    if (FreeBlock* block = pool.head) {
      pool.head = block->next;
      --pool.count;
      return block;
    }
  }
  return ::operator new(size);
}

void GraphMessage::operator delete(void* storage, size_t size) {
  if (!storage) return;
  if (size == sizeof(GraphMessage)) {
    MessagePool& pool = Pool();
    std::lock_guard<std::mutex> lock(pool.lock);
    if (pool.count < kMaxPooled) {
      auto* block = static_cast<FreeBlock*>(storage);
      block->next = pool.head;
      pool.head = block;
      ++pool.count;
      return;
    }
  }
  ::operator delete(storage);
}

RefPtr<AudioBuffer> GraphMessage::Buffer() const { return QueryAs<AudioBuffer>(m_payload.Get()); }

}  // namespace talvinor
