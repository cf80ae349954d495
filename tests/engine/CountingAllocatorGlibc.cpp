// The counting allocator's Linux side: the thread's scope in a thread_local, and malloc, calloc, realloc, free
// and pthread_mutex_lock interposed in the executable, except under a sanitizer.
#include "tests/engine/CountingAllocator.h"

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORL_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUORL_TEST_SANITIZED 1
#endif
#endif

#if !defined(QUORL_TEST_SANITIZED)
#include <dlfcn.h>
#include <pthread.h>
#endif

namespace quorl_test {

namespace {
thread_local detail::Counters* tCounters = nullptr;
} // namespace

namespace detail {

Counters* CurrentCounters()
{
  return tCounters;
}

void SetCurrentCounters(Counters* counters)
{
  tCounters = counters;
}

void* AlignedAllocate(std::size_t size, std::size_t alignment)
{
  return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

void AlignedFree(void* p)
{
  std::free(p);
}

} // namespace detail

bool WatchesCLibrary()
{
#if defined(QUORL_TEST_SANITIZED)
  return false;
#else
  return true;
#endif
}

bool WatchLoadedLibrary(void* handle)
{
  return handle != nullptr && WatchesCLibrary();
}

} // namespace quorl_test

#if !defined(QUORL_TEST_SANITIZED)
// glibc's own entry points behind malloc and friends; interposing the public names in the executable makes every
// library of the process, C libraries included, allocate through these.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void __libc_free(void*);

extern "C" void* malloc(std::size_t size)
{
  quorl_test::detail::CountAllocation();
  return __libc_malloc(size);
}

extern "C" void* calloc(std::size_t n, std::size_t size)
{
  quorl_test::detail::CountAllocation();
  return __libc_calloc(n, size);
}

extern "C" void* realloc(void* p, std::size_t size)
{
  quorl_test::detail::CountAllocation();
  return __libc_realloc(p, size);
}

extern "C" void free(void* p)
{
  if (p)
    quorl_test::detail::CountAllocation();
  __libc_free(p);
}

namespace {
using LockFn = int (*)(pthread_mutex_t*);
LockFn RealLock()
{
  static const LockFn real = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  return real;
}
LockFn RealTryLock()
{
  static const LockFn real = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
  return real;
}
} // namespace

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex)
{
  quorl_test::detail::CountLock();
  return RealLock()(mutex);
}

extern "C" int pthread_mutex_trylock(pthread_mutex_t* mutex)
{
  quorl_test::detail::CountLock();
  return RealTryLock()(mutex);
}
#endif
