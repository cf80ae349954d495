#pragma once

#include <cstddef>
#include <cstdint>

// Counts heap allocations and mutex locks made by the current thread while a CountingScope is alive.
// operator new and delete are replaced in this test binary. The C library is watched too where the system lets
// a test do so (so C libraries are covered), except under a sanitizer, which owns those
// functions itself: on Linux malloc, calloc, realloc, free and pthread_mutex_lock are interposed
// (CountingAllocatorGlibc.cpp); on Windows the same functions are wrapped at link time
// (win/CountingAllocatorWin.cpp, linked with quorl_counting_allocator in tests/CMakeLists.txt).
namespace quorl_test {

namespace detail {

struct Counters
{
  int64_t allocations = 0;
  int64_t locks = 0;
};

// The counters of the calling thread's live scope, or null. The per-system thread-local slot never allocates
// or locks, so the counting functions may read it from inside malloc.
Counters* CurrentCounters();
void SetCurrentCounters(Counters* counters);

// Memory for the aligned forms of operator new, and its release; null when none is left.
void* AlignedAllocate(std::size_t size, std::size_t alignment);
void AlignedFree(void* p);

void CountAllocation();
void CountLock();

} // namespace detail

struct CountingScope
{
  CountingScope();
  ~CountingScope();
  CountingScope(const CountingScope&) = delete;
  CountingScope& operator=(const CountingScope&) = delete;

  int64_t allocations() const;
  int64_t locks() const;

private:
  detail::Counters mCounters;
};

// Whether malloc and the mutex functions are watched as well as operator new.
bool WatchesCLibrary();

// Extends the watch to a library loaded into the process (a plug-in file; handle as the loader gives it). On
// Linux the interposed functions reach it already. On Windows a DLL calls the C library's allocation functions
// through its own import table, which this points at the counting ones; its mutexes (a static winpthread inside
// the DLL) stay unwatched. True when its allocations are counted.
bool WatchLoadedLibrary(void* handle);

} // namespace quorl_test
