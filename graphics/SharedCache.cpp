#include "graphics/SharedCache.h"

#include <charconv>

namespace ondrell::graphics {

std::uint64_t Fnv1a64(std::string_view text)
{
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : text)
  {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::string CacheKeyText(std::string_view name, double scale)
{
  // to_chars with fixed precision rounds exactly like printf's "%.1f" but never uses a decimal comma.
  char digits[64];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), scale, std::chars_format::fixed, 1);
  std::string key(name);
  key += '-';
  if (ec == std::errc())
    key.append(digits, end);
  key += 'x';
  return key;
}

std::uint64_t CacheKeyHash(std::string_view name, double scale)
{
  return Fnv1a64(CacheKeyText(name, scale));
}

} // namespace ondrell::graphics
