#pragma once

#include <cstdint>

// Counts heap allocations and mutex locks made by the current thread while a CountingScope is alive.
// operator new and delete are replaced in this test binary; malloc, calloc, realloc, free and
// pthread_mutex_lock are interposed too (so C libraries are covered), except under a
// sanitizer, which owns those functions itself.
namespace quorl_test {

struct CountingScope
{
  CountingScope();
  ~CountingScope();
  CountingScope(const CountingScope&) = delete;
  CountingScope& operator=(const CountingScope&) = delete;

  int64_t allocations() const;
  int64_t locks() const;
};

// Whether malloc and the mutex functions are watched as well as operator new.
bool WatchesCLibrary();

} // namespace quorl_test
