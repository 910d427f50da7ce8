#pragma once
#include <cassert>
#include <cstddef>
#include <utility>
#include <vector>

namespace talvinor {

// A first-in first-out queue over a ring that only ever grows: once it has
// held its largest count, pushing and popping allocate nothing. (std::deque
// allocates a block every few dozen pushes and frees one every few dozen
// pops, so a queue in steady use keeps allocating.) Not thread-safe; its
// owner's lock guards it.
template <typename T>
class RingQueue {
 public:
  bool empty() const { return m_count == 0; }
  size_t size() const { return m_count; }

  T& front() {
    assert(m_count != 0);
    return m_ring[m_head];
  }
  const T& front() const {
    assert(m_count != 0);
    return m_ring[m_head];
  }

  void push_back(T value) {
    if (m_count == m_ring.size()) Grow();
    m_ring[(m_head + m_count) % m_ring.size()] = std::move(value);
    ++m_count;
  }

  // The slot left behind is reset, so a counted element is released now.
  void pop_front() {
    assert(m_count != 0);
    m_ring[m_head] = T();
    m_head = (m_head + 1) % m_ring.size();
    --m_count;
  }

  // Moves every element out, in order, and leaves the queue empty with its
  // storage kept.
  std::vector<T> TakeAll() {
    std::vector<T> all;
    all.reserve(m_count);
    while (m_count != 0) {
      all.push_back(std::move(front()));
      pop_front();
    }
    m_head = 0;
    return all;
  }

  void clear() { TakeAll(); }

  // Iteration from the front, for the owners that look along the queue.
  template <typename Queue, typename Element>
  class Iterator {
   public:
    Iterator(Queue* queue, size_t index) : m_queue(queue), m_index(index) {}
    Element& operator*() const { return m_queue->m_ring[(m_queue->m_head + m_index) % m_queue->m_ring.size()]; }
    Element* operator->() const { return &**this; }
    Iterator& operator++() {
      ++m_index;
      return *this;
    }
    bool operator==(const Iterator& other) const { return m_index == other.m_index; }
    bool operator!=(const Iterator& other) const { return m_index != other.m_index; }

   private:
    Queue* m_queue;
    size_t m_index;
  };
  using iterator = Iterator<RingQueue, T>;
  using const_iterator = Iterator<const RingQueue, const T>;
  iterator begin() { return iterator(this, 0); }
  iterator end() { return iterator(this, m_count); }
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, m_count); }

 private:
  static constexpr size_t kInitialSize = 16;

  void Grow() {
    std::vector<T> ring(m_ring.empty() ? kInitialSize : m_ring.size() * 2);
    for (size_t i = 0; i < m_count; ++i) ring[i] = std::move(m_ring[(m_head + i) % m_ring.size()]);
    m_ring.swap(ring);
    m_head = 0;
  }

  std::vector<T> m_ring;
  size_t m_head = 0;  // index of the front
  size_t m_count = 0;
};

}  // namespace talvinor
