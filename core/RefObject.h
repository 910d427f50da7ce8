#pragma once
#include <atomic>
#include <cstdint>

namespace talvinor {

template <typename T, typename... Args>
class RefPtrFactory;

// The counted base of every shared object.
//
// Ownership rule: an object is born with a count of 1 that belongs to nobody
// in particular; Create<T>() (RefPtr.h) hands that one reference to the RefPtr
// it returns, so the caller of Create takes the first reference. Never `new` a
// RefObject directly and never `delete` one: the last Release destroys it.
//
// The reference word keeps the count in bits 0-27; bit 28 is the creation
// mark set by Create. Counts reported by AddRef/Release never include it.
//
// Class codes replace run-time type information: GetTypeCode reports the
// class's own code and IsKindOf/Query answer for the codes the class lists
// (its own and its family's) with TALVINOR_CLASS_CODES.
class RefObject {
 public:
  static constexpr uint32_t kCountMask = 0x0FFFFFFFu;
  static constexpr uint32_t kCreationMark = 0x10000000u;
  static constexpr uint32_t kTypeCode = 0x1001;

  RefObject() = default;
  RefObject(const RefObject&) = delete;
  RefObject& operator=(const RefObject&) = delete;

  // Ends the object's life; called by the last Release.
  virtual void Destroy();
  // Thread-safe. Return the new count, without the flag bits.
  uint32_t AddRef();
  uint32_t Release();

  virtual uint32_t GetTypeCode() const { return kTypeCode; }
  // The object with one more reference when it answers to `code`, else null.
  // The caller owns the reference it gets.
  RefObject* Query(uint32_t code);
  virtual bool IsKindOf(uint32_t /*code*/) const { return false; }

  // The raw reference word, for tests and diagnostics.
  uint32_t ReferenceWord() const { return m_word.load(std::memory_order_relaxed); }

 protected:
  virtual ~RefObject();

 private:
  template <typename T, typename... Args>
  friend class RefPtrFactory;
  void MarkCreated();

 protected:
  // Only the counting operations touch the word; derived test probes may
  // preset it to check the masking at the count's limit.
  std::atomic<uint32_t> m_word{1};
};

}  // namespace talvinor

// Declares the class codes of a counted class: the first is its own type code,
// the rest are the families it belongs to.
#define TALVINOR_CLASS_CODES(own, ...)                                        \
 public:                                                                      \
  static constexpr uint32_t kTypeCode = (own);                                \
  uint32_t GetTypeCode() const override { return (own); }                     \
  bool IsKindOf(uint32_t code) const override {                               \
    for (uint32_t c : std::initializer_list<uint32_t>{(own), ##__VA_ARGS__}) \
      if (c == code) return true;                                             \
    return false;                                                             \
  }                                                                           \
                                                                              \
 private:
