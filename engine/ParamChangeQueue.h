#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace ondrell {

// A bounded lock-free queue of parameter changes with any number of producers and one consumer (the cell
// sequence scheme of D. Vyukov's bounded queue). Producers claim a cell with a compare-and-swap on the write
// counter and publish it with a release store of the cell's sequence number; the consumer takes cells in order
// and stops at the first one not yet published, so it never waits.
// Threads: TryPush from any thread, TryPop from one consumer at a time (the processing thread); owns its cells.
template <typename T, size_t Capacity>
class ParamChangeQueue
{
  static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
  ParamChangeQueue()
  {
    for (size_t i = 0; i < Capacity; ++i)
      mCells[i].sequence.store(i, std::memory_order_relaxed);
  }
  ParamChangeQueue(const ParamChangeQueue&) = delete;
  ParamChangeQueue& operator=(const ParamChangeQueue&) = delete;

  // False when the queue is full; the element is then not stored.
  bool TryPush(const T& value)
  {
    size_t position = mWrite.load(std::memory_order_relaxed);
    for (;;)
    {
      Cell& cell = mCells[position & (Capacity - 1)];
      const size_t sequence = cell.sequence.load(std::memory_order_acquire);
      const auto lead = static_cast<std::ptrdiff_t>(sequence - position);
      if (lead == 0)
      {
        if (mWrite.compare_exchange_weak(position, position + 1, std::memory_order_relaxed))
        {
          cell.value = value;
          cell.sequence.store(position + 1, std::memory_order_release);
          return true;
        }
      }
      else if (lead < 0)
        return false;
      else
        position = mWrite.load(std::memory_order_relaxed);
    }
  }

  // False when no published element is waiting.
  bool TryPop(T& out)
  {
    Cell& cell = mCells[mRead & (Capacity - 1)];
    const size_t sequence = cell.sequence.load(std::memory_order_acquire);
    if (static_cast<std::ptrdiff_t>(sequence - (mRead + 1)) < 0)
      return false;
    out = cell.value;
    cell.sequence.store(mRead + Capacity, std::memory_order_release);
    ++mRead;
    return true;
  }

private:
  struct Cell
  {
    std::atomic<size_t> sequence{0};
    T value{};
  };

  std::array<Cell, Capacity> mCells;
  alignas(64) std::atomic<size_t> mWrite{0};
  alignas(64) size_t mRead = 0;
};

} // namespace ondrell
