// The counting allocator's Windows side. The thread's scope sits in a Win32 thread-local slot (GCC's
// thread_local on MinGW allocates on first use, which would recurse into the counting malloc). malloc, calloc,
// realloc, free and pthread_mutex_lock (behind std::mutex) are wrapped at link time (-Wl,--wrap=..., see
// quorl_counting_allocator in tests/CMakeLists.txt): every statically linked object of the program calls the
// __wrap_ functions below, which count and call the originals.
#include "tests/engine/CountingAllocator.h"

#include <malloc.h>
#include <pthread.h>
#include <windows.h>

#include <cstdlib>

namespace quorl_test {

namespace {

// Allocated while the program starts, before any scope exists.
const DWORD gCountersSlot = TlsAlloc();

} // namespace

namespace detail {

Counters* CurrentCounters()
{
  if (gCountersSlot == TLS_OUT_OF_INDEXES)
    return nullptr;
  // TlsGetValue clears the thread's last error; the code around the allocation may be about to read it.
  const DWORD lastError = GetLastError();
  auto* counters = static_cast<Counters*>(TlsGetValue(gCountersSlot));
  SetLastError(lastError);
  return counters;
}

void SetCurrentCounters(Counters* counters)
{
  if (gCountersSlot != TLS_OUT_OF_INDEXES)
    TlsSetValue(gCountersSlot, counters);
}

void* AlignedAllocate(std::size_t size, std::size_t alignment)
{
  return _aligned_malloc(size ? size : 1, alignment);
}

void AlignedFree(void* p)
{
  _aligned_free(p);
}

} // namespace detail

bool WatchesCLibrary()
{
  return gCountersSlot != TLS_OUT_OF_INDEXES;
}

} // namespace quorl_test

extern "C" {

void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t n, std::size_t size);
void* __real_realloc(void* p, std::size_t size);
void __real_free(void* p);
int __real_pthread_mutex_lock(pthread_mutex_t* mutex);
int __real_pthread_mutex_trylock(pthread_mutex_t* mutex);

void* __wrap_malloc(std::size_t size)
{
  quorl_test::detail::CountAllocation();
  return __real_malloc(size);
}

void* __wrap_calloc(std::size_t n, std::size_t size)
{
  quorl_test::detail::CountAllocation();
  return __real_calloc(n, size);
}

void* __wrap_realloc(void* p, std::size_t size)
{
  quorl_test::detail::CountAllocation();
  return __real_realloc(p, size);
}

void __wrap_free(void* p)
{
  if (p)
    quorl_test::detail::CountAllocation();
  __real_free(p);
}

int __wrap_pthread_mutex_lock(pthread_mutex_t* mutex)
{
  quorl_test::detail::CountLock();
  return __real_pthread_mutex_lock(mutex);
}

int __wrap_pthread_mutex_trylock(pthread_mutex_t* mutex)
{
  quorl_test::detail::CountLock();
  return __real_pthread_mutex_trylock(mutex);
}

} // extern "C"
