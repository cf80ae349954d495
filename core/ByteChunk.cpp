#include "core/ByteChunk.h"

#include <climits>

namespace ondrell {

void ByteChunk::Reserve(size_t needed) {
  if (needed <= mBytes.capacity()) return;
  // Whole allocation steps, and at least half as much again as now, so long chunks grow in few copies.
  size_t target = needed > mBytes.capacity() + mBytes.capacity() / 2 ? needed : mBytes.capacity() + mBytes.capacity() / 2;
  target = (target + kAllocationStep - 1) / kAllocationStep * kAllocationStep;
  mBytes.reserve(target);
}

int ByteChunk::AppendBytes(const void* data, int size) {
  if (data == nullptr || size <= 0) return Size();
  if (size > INT_MAX - Size()) return Size();
  const size_t old = mBytes.size();
  Reserve(old + static_cast<size_t>(size));
  mBytes.resize(old + static_cast<size_t>(size));
  std::memcpy(mBytes.data() + old, data, static_cast<size_t>(size));
  return Size();
}

int ByteChunk::AppendString(std::string_view text) {
  if (text.size() > static_cast<size_t>(INT_MAX - 4)) return Size();
  const int32_t length = static_cast<int32_t>(text.size());
  Append(length);
  return AppendBytes(text.data(), length);
}

int ByteChunk::AppendChunk(const ByteChunk& other) {
  if (&other == this) {
    const ByteChunk copy = other;
    return AppendBytes(copy.Data(), copy.Size());
  }
  return AppendBytes(other.Data(), other.Size());
}

int ByteChunk::ReadBytes(void* out, int size, int pos) const {
  if (pos < 0 || size < 0 || size > Size() - pos) return -1;
  if (size > 0) std::memcpy(out, mBytes.data() + pos, static_cast<size_t>(size));
  return pos + size;
}

int ByteChunk::ReadString(std::string& text, int pos) const {
  int32_t length = 0;
  const int afterLength = Read(length, pos);
  if (afterLength < 0) return -1;
  if (length < 1) {
    text.clear();
    return afterLength;
  }
  if (length > Size() - afterLength) return -1;
  text.assign(reinterpret_cast<const char*>(mBytes.data()) + afterLength, static_cast<size_t>(length));
  return afterLength + length;
}

}  // namespace ondrell
