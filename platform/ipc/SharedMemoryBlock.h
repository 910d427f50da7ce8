#pragma once
#include <cstdint>
#include <string>

namespace talvinor {

// How this process holds a shared memory block.
enum class SharedBlockRole {
  Closed,  // nothing open
  Owner,   // created or taken over here; removes the name at Close
  User,    // opened by name from another process's block
};

// A named block of shared memory (shm_open) in the per-user namespace, mapped
// read/write for the life of the object.
//
// The owner holds a write lock on the whole block (an open-file-description
// lock, fcntl F_OFD_SETLK) for as long as it has it open, so a live owner is
// told apart from one that died: the kernel drops the lock of a killed
// process, and the next CreateOwned takes the block over. Users ask whether
// the lock is held without taking it (F_OFD_GETLK), so asking never gets in
// the way of an owner that is starting. Not thread-safe; one thread opens and
// closes it.
class SharedMemoryBlock {
 public:
  SharedMemoryBlock() = default;
  ~SharedMemoryBlock();
  SharedMemoryBlock(const SharedMemoryBlock&) = delete;
  SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

  // Creates the block `name` (a base name) with `size` bytes, or takes over
  // the block a dead owner left behind; fails with EBUSY while a live process
  // owns it. The contents of a taken-over block are stale: the caller writes
  // them afresh.
  bool CreateOwned(const std::string& name, uint32_t size);
  // Creates a new block `name` with `size` zero bytes, removing a block of
  // that name left behind first. No owner lock: for objects whose owner is
  // told apart by another block's lock.
  bool CreateFresh(const std::string& name, uint32_t size);
  // Opens an existing block; Size() is the block's size.
  bool Open(const std::string& name);
  // Unmaps and closes; the owner also removes the name, so objects that a
  // new owner must not find half-removed are to be closed before the block.
  void Close();

  // Whether a live process owns the block: always true for the owner itself;
  // for a user, whether the owner's lock is held. A block left behind by an
  // owner that died has none. When the lock cannot be asked about, true:
  // better a send that times out than a live owner taken for dead.
  bool HasLiveOwner() const;

  SharedBlockRole Role() const { return m_role; }
  uint8_t* Data() const { return m_data; }
  uint32_t Size() const { return m_size; }
  // The permission bits of the open block (0600 when made here).
  bool GetMode(uint32_t* mode) const;
  // The errno value of the last failure.
  int LastError() const { return m_lastError; }

 private:
  bool Fail(int error, const char* context);
  bool Map(uint32_t size);

  int m_fd = -1;
  uint8_t* m_data = nullptr;
  uint32_t m_size = 0;
  SharedBlockRole m_role = SharedBlockRole::Closed;
  std::string m_name;  // full object name
  int m_lastError = 0;
};

}  // namespace talvinor
