#pragma once
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace ondrell {

static_assert(std::endian::native == std::endian::little,
              "chunks store numbers as they are held in memory, which must be little-endian");

// A growable byte array: the container of every state, preset and bank chunk.
// Reads are bounds-checked and return the position after the value read, or -1 when it does not fit.
// Sizes and positions are ints; a chunk never grows beyond INT_MAX bytes (such appends are refused).
// Threads: not shared; whoever holds the chunk uses it.
class ByteChunk {
 public:
  static constexpr int kAllocationStep = 4096;  // capacity grows in multiples of this

  // Appends the value's bytes as held in memory. Returns the new size.
  template <typename T>
  int Append(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>, "only plain values are stored byte for byte");
    return AppendBytes(&value, static_cast<int>(sizeof(T)));
  }

  // Appends size bytes (nothing for size <= 0 or a null pointer). Returns the new size.
  int AppendBytes(const void* data, int size);
  // Appends the text's byte length as a 32-bit signed integer, then the bytes without terminator.
  int AppendString(std::string_view text);
  // Appends every byte of another chunk.
  int AppendChunk(const ByteChunk& other);

  // Copies sizeof(T) bytes at pos into value. Returns pos + sizeof(T), or -1 (value untouched) when pos is
  // negative or the bytes run past the end.
  template <typename T>
  int Read(T& value, int pos) const {
    static_assert(std::is_trivially_copyable_v<T>, "only plain values are read byte for byte");
    return ReadBytes(&value, static_cast<int>(sizeof(T)), pos);
  }

  // Copies size bytes at pos into out; same result rule as Read.
  int ReadBytes(void* out, int size, int pos) const;
  // Reads a 32-bit length n, then n bytes as the text (n < 1 gives the empty text). -1 when either part
  // does not fit; text is then untouched.
  int ReadString(std::string& text, int pos) const;

  void Clear() { mBytes.clear(); }
  int Size() const { return static_cast<int>(mBytes.size()); }
  const uint8_t* Data() const { return mBytes.data(); }
  uint8_t* Data() { return mBytes.data(); }

  bool operator==(const ByteChunk& other) const { return mBytes == other.mBytes; }

 private:
  void Reserve(size_t needed);

  std::vector<uint8_t> mBytes;
};

}  // namespace ondrell
