#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace ondrell {

// Single-producer single-consumer ring of N + 1 slots holding up to N elements; no allocation, no lock.
// A slot is written before the write index is published (release) and read before the read index is
// published, so each side sees complete elements. Pushing onto a full ring drops the new element.
// Threads: exactly one thread calls Push and exactly one (possibly other) thread calls Pop; owns its slots.
template <typename T, int N>
class SpscQueue {
  static_assert(N > 0, "an SpscQueue holds at least one element");
  static_assert(std::is_trivially_copyable_v<T>, "elements are copied by value into preallocated slots");

 public:
  static constexpr int kCapacity = N;

  // Producer side. Returns false (and drops the element) when the queue is full.
  bool Push(const T& element) {
    const uint64_t write = mWrite.load(std::memory_order_relaxed);
    const uint64_t next = (write + 1) % (N + 1);
    if (next == mRead.load(std::memory_order_acquire)) return false;
    mSlots[write] = element;
    mWrite.store(next, std::memory_order_release);
    return true;
  }

  // Consumer side. Returns false when the queue is empty (out is left untouched).
  bool Pop(T& out) {
    const uint64_t read = mRead.load(std::memory_order_relaxed);
    if (read == mWrite.load(std::memory_order_acquire)) return false;
    out = mSlots[read];
    mRead.store((read + 1) % (N + 1), std::memory_order_release);
    return true;
  }

  // A snapshot of the number of queued elements; exact only when called by one of the two sides.
  size_t ElementsAvailable() const {
    const uint64_t write = mWrite.load(std::memory_order_acquire);
    const uint64_t read = mRead.load(std::memory_order_acquire);
    return static_cast<size_t>(write >= read ? write - read : (N + 1) - read + write);
  }

 private:
  std::array<T, N + 1> mSlots{};
  alignas(64) std::atomic<uint64_t> mWrite{0};  // own cache lines: the two sides never share one
  alignas(64) std::atomic<uint64_t> mRead{0};
};

}  // namespace ondrell
