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
#include <cstring>

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
void* __wrap_malloc(std::size_t size);
void* __wrap_calloc(std::size_t n, std::size_t size);
void* __wrap_realloc(void* p, std::size_t size);
void __wrap_free(void* p);
}

namespace quorl_test {

namespace {

// The counting replacement for one of the C library's allocation functions, or null.
void* CountingReplacement(const char* name)
{
  if (std::strcmp(name, "malloc") == 0)
    return reinterpret_cast<void*>(&__wrap_malloc);
  if (std::strcmp(name, "calloc") == 0)
    return reinterpret_cast<void*>(&__wrap_calloc);
  if (std::strcmp(name, "realloc") == 0)
    return reinterpret_cast<void*>(&__wrap_realloc);
  if (std::strcmp(name, "free") == 0)
    return reinterpret_cast<void*>(&__wrap_free);
  return nullptr;
}

} // namespace

bool WatchLoadedLibrary(void* handle)
{
  if (handle == nullptr || !WatchesCLibrary())
    return false;
  auto* const base = static_cast<unsigned char*>(handle);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE)
    return false;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0)
    return false;
  int redirected = 0;
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name;
       ++entry)
  {
    // The C runtime the DLL was linked against: the same one this program allocates from.
    if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), "msvcrt.dll") != 0)
      continue;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
      base + (entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots)
    {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
        continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      void* const replacement = CountingReplacement(reinterpret_cast<const char*>(byName->Name));
      if (replacement == nullptr)
        continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection))
        continue;
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      ++redirected;
    }
  }
  return redirected > 0;
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
