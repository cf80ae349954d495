#pragma once

// The pictures and the font carried inside the library. The table itself is generated at build time
// (cmake/EmbedResources.cmake) into the quorl_resources library.

#include <cstddef>
#include <span>
#include <string_view>

namespace ondrell::graphics {

// One embedded resource. The stored name is upper case with a double quote at each end ("\"QEQ_BACK.PNG\"");
// the type is upper case ("PNG", "TTF"). The bytes live in the library's read-only data for the whole process.
struct EmbeddedResource
{
  std::string_view storedName;
  std::string_view type;
  std::span<const unsigned char> bytes;
};

// Every embedded resource, in the order they were listed at build time.
std::span<const EmbeddedResource* const> EmbeddedResources();

} // namespace ondrell::graphics
