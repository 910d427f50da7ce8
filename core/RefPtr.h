#pragma once
#include <cstddef>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "core/RefObject.h"

namespace talvinor {

// Holds exactly one reference on a counted object (or nothing). Passing a
// RefPtr by value means the callee keeps a reference; a raw pointer parameter
// means it does not. One holder is used by one thread at a time.
template <typename T>
class RefPtr {
 public:
  RefPtr() = default;
  RefPtr(std::nullptr_t) {}
  // Takes a new reference on `p`.
  RefPtr(T* p) : m_ptr(p) {
    if (m_ptr) m_ptr->AddRef();
  }
  RefPtr(const RefPtr& other) : RefPtr(other.m_ptr) {}
  RefPtr(RefPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  RefPtr(const RefPtr<U>& other) : RefPtr(static_cast<T*>(other.Get())) {}
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  RefPtr(RefPtr<U>&& other) noexcept : m_ptr(other.Leak()) {}
  ~RefPtr() { Reset(); }

  // Reference the new object first, then release the old: self-assignment is safe.
  RefPtr& operator=(T* p) {
    if (p) p->AddRef();
    T* old = std::exchange(m_ptr, p);
    if (old) old->Release();
    return *this;
  }
  RefPtr& operator=(const RefPtr& other) { return *this = other.m_ptr; }
  RefPtr& operator=(RefPtr&& other) noexcept {
    if (this != &other) {
      T* old = std::exchange(m_ptr, std::exchange(other.m_ptr, nullptr));
      if (old) old->Release();
    }
    return *this;
  }
  RefPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  void Reset() {
    if (T* old = std::exchange(m_ptr, nullptr)) old->Release();
  }
  // Takes over a reference the caller already owns (from Query, say).
  static RefPtr Adopt(T* p) {
    RefPtr r;
    r.m_ptr = p;
    return r;
  }
  // Gives up the held reference to the caller without releasing it.
  T* Leak() { return std::exchange(m_ptr, nullptr); }

  T* Get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  T& operator*() const { return *m_ptr; }
  explicit operator bool() const { return m_ptr != nullptr; }

  friend bool operator==(const RefPtr& a, const RefPtr& b) { return a.m_ptr == b.m_ptr; }
  friend bool operator==(const RefPtr& a, std::nullptr_t) { return a.m_ptr == nullptr; }

 private:
  T* m_ptr = nullptr;
};

template <typename T, typename... Args>
class RefPtrFactory {
 public:
  static RefPtr<T> Make(Args&&... args) {
    // If the constructor throws, new frees the storage and no holder is filled.
    T* object = new T(std::forward<Args>(args)...);
    static_cast<RefObject*>(object)->MarkCreated();
    RefPtr<T> holder(object);  // count 2
    object->Release();         // count 1: the holder owns the only reference
    return holder;
  }
};

// The one way to make a counted object: the returned holder owns its first reference.
template <typename T, typename... Args>
RefPtr<T> Create(Args&&... args) {
  return RefPtrFactory<T, Args...>::Make(std::forward<Args>(args)...);
}

// Query by class code: a holder of the object as `T` when it answers to
// T's code, else empty.
template <typename T>
RefPtr<T> QueryAs(RefObject* object) {
  if (!object) return nullptr;
  RefObject* answered = object->Query(T::kTypeCode);
  return RefPtr<T>::Adopt(static_cast<T*>(answered));
}

}  // namespace talvinor
