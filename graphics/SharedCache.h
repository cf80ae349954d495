#pragma once

// Process-wide caches of loaded pictures and fonts, shared by every editor window of every plug-in instance.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ondrell::graphics {

// 64-bit FNV-1a (offset basis 0xcbf29ce484222325, prime 0x100000001b3) over the bytes of the text.
std::uint64_t Fnv1a64(std::string_view text);

// The key text of a cache entry is the name followed by "-<scale with one decimal>x" ("QEQ_back.png-2.0x"),
// written independently of the C locale; this is its hash.
std::string CacheKeyText(std::string_view name, double scale);
std::uint64_t CacheKeyHash(std::string_view name, double scale);

// Threads: any editor thread may call any method; every method takes the cache's own (recursive) lock, and a
// caller holds Acquire() across a lookup-then-add so two windows never load the same item twice. Owns its items.
template <typename T>
class SharedCache
{
public:
  using Lock = std::unique_lock<std::recursive_mutex>;

  SharedCache() = default;
  SharedCache(const SharedCache&) = delete;
  SharedCache& operator=(const SharedCache&) = delete;

  // Holds the cache's lock for as long as the returned object lives.
  Lock Acquire() const { return Lock(mMutex); }

  // The first entry whose hash, scale and name (exact, case-sensitive) all match; null when none.
  T* Find(std::string_view name, double scale) const
  {
    const Lock lock(mMutex);
    const std::uint64_t hash = CacheKeyHash(name, scale);
    for (const Entry& entry : mEntries)
    {
      if (entry.hash == hash && entry.scale == scale && entry.name == name)
        return entry.item.get();
    }
    return nullptr;
  }

  // Appends an entry; an existing entry under the same key stays first, so lookups keep finding it.
  T* Add(std::unique_ptr<T> item, std::string_view name, double scale = 1.0)
  {
    if (!item)
      return nullptr;
    const Lock lock(mMutex);
    mEntries.push_back(Entry{CacheKeyHash(name, scale), std::string(name), scale, std::move(item)});
    return mEntries.back().item.get();
  }

  // Removes and destroys the entry that owns the item; false when no entry does.
  bool Remove(const T* item)
  {
    std::unique_ptr<T> doomed;
    const Lock lock(mMutex);
    for (auto it = mEntries.begin(); it != mEntries.end(); ++it)
    {
      if (it->item.get() == item)
      {
        doomed = std::move(it->item);
        mEntries.erase(it);
        return true;
      }
    }
    return false;
  }

  // Destroys every item.
  void Clear()
  {
    std::vector<Entry> doomed;
    const Lock lock(mMutex);
    doomed.swap(mEntries);
  }

  // A graphics context registers itself as a user when it is created and unregisters when it is destroyed;
  // the last one leaving empties the cache. An unbalanced RemoveUser never drives the count below 0.
  int AddUser()
  {
    const Lock lock(mMutex);
    return ++mUsers;
  }

  int RemoveUser()
  {
    const Lock lock(mMutex);
    if (mUsers > 0)
      --mUsers;
    if (mUsers == 0)
      Clear();
    return mUsers;
  }

  int UserCount() const
  {
    const Lock lock(mMutex);
    return mUsers;
  }

  std::size_t Size() const
  {
    const Lock lock(mMutex);
    return mEntries.size();
  }

private:
  struct Entry
  {
    std::uint64_t hash;
    std::string name;
    double scale;
    std::unique_ptr<T> item;
  };

  mutable std::recursive_mutex mMutex;
  int mUsers = 0;
  std::vector<Entry> mEntries;
};

} // namespace ondrell::graphics
