#include "tests/engine/CountingAllocator.h"

#include <cstdlib>
#include <new>

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

namespace {
thread_local bool tCounting = false;
thread_local int64_t tAllocations = 0;
thread_local int64_t tLocks = 0;

void CountAllocation()
{
  if (tCounting)
    ++tAllocations;
}
} // namespace

namespace quorl_test {

CountingScope::CountingScope()
{
  tAllocations = 0;
  tLocks = 0;
  tCounting = true;
}

CountingScope::~CountingScope()
{
  tCounting = false;
}

int64_t CountingScope::allocations() const
{
  return tAllocations;
}

int64_t CountingScope::locks() const
{
  return tLocks;
}

bool WatchesCLibrary()
{
#if defined(QUORL_TEST_SANITIZED)
  return false;
#else
  return true;
#endif
}

} // namespace quorl_test

void* operator new(std::size_t size)
{
  CountAllocation();
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
  CountAllocation();
  return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
  return ::operator new(size, tag);
}

void* operator new(std::size_t size, std::align_val_t alignment)
{
  CountAllocation();
  const std::size_t a = static_cast<std::size_t>(alignment);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a))
    return p;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size, std::align_val_t alignment)
{
  return ::operator new(size, alignment);
}

void operator delete(void* p) noexcept
{
  CountAllocation();
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
  ::operator delete(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
  ::operator delete(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
  ::operator delete(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
  ::operator delete(p);
}

#if !defined(QUORL_TEST_SANITIZED)
// glibc's own entry points behind malloc and friends; interposing the public names in the executable makes every
// library of the process, C libraries included, allocate through these.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void __libc_free(void*);

extern "C" void* malloc(std::size_t size)
{
  CountAllocation();
  return __libc_malloc(size);
}

extern "C" void* calloc(std::size_t n, std::size_t size)
{
  CountAllocation();
  return __libc_calloc(n, size);
}

extern "C" void* realloc(void* p, std::size_t size)
{
  CountAllocation();
  return __libc_realloc(p, size);
}

extern "C" void free(void* p)
{
  if (p)
    CountAllocation();
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
  if (tCounting)
    ++tLocks;
  return RealLock()(mutex);
}

extern "C" int pthread_mutex_trylock(pthread_mutex_t* mutex)
{
  if (tCounting)
    ++tLocks;
  return RealTryLock()(mutex);
}
#endif
