#include "tests/engine/CountingAllocator.h"

#include <cstdlib>
#include <new>

namespace quorl_test {

namespace detail {

void CountAllocation()
{
  if (Counters* counters = CurrentCounters())
    ++counters->allocations;
}

void CountLock()
{
  if (Counters* counters = CurrentCounters())
    ++counters->locks;
}

} // namespace detail

CountingScope::CountingScope()
{
  detail::SetCurrentCounters(&mCounters);
}

CountingScope::~CountingScope()
{
  detail::SetCurrentCounters(nullptr);
}

int64_t CountingScope::allocations() const
{
  return mCounters.allocations;
}

int64_t CountingScope::locks() const
{
  return mCounters.locks;
}

} // namespace quorl_test

void* operator new(std::size_t size)
{
  quorl_test::detail::CountAllocation();
  if (void* p = std::malloc(size ? size : 1))
    return p;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
  return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
  quorl_test::detail::CountAllocation();
  return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
  return ::operator new(size, tag);
}

void* operator new(std::size_t size, std::align_val_t alignment)
{
  quorl_test::detail::CountAllocation();
  if (void* p = quorl_test::detail::AlignedAllocate(size, static_cast<std::size_t>(alignment)))
    return p;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size, std::align_val_t alignment)
{
  return ::operator new(size, alignment);
}

void operator delete(void* p) noexcept
{
  quorl_test::detail::CountAllocation();
  std::free(p);
}
void operator delete[](void* p) noexcept
{
  ::operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept
{
  ::operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
  ::operator delete(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
  quorl_test::detail::CountAllocation();
  quorl_test::detail::AlignedFree(p);
}
void operator delete[](void* p, std::align_val_t alignment) noexcept
{
  ::operator delete(p, alignment);
}
void operator delete(void* p, std::size_t, std::align_val_t alignment) noexcept
{
  ::operator delete(p, alignment);
}
void operator delete[](void* p, std::size_t, std::align_val_t alignment) noexcept
{
  ::operator delete(p, alignment);
}

