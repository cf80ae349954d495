#pragma once

// The pictures and the font carried inside the library itself, whatever the system keeps them in: the table
// embedded at build time on Linux (graphics/EmbeddedResources.h), the module's own Win32 resources on Windows
// (graphics/win/WinModuleResources.cpp). ReadEmbeddedResource (graphics/ResourceLocator.h) reads one of them.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ondrell::graphics {

struct ModuleResource
{
  std::string storedName;                // upper case, with a double quote at each end
  std::string type;                      // upper case: "PNG", "TTF"
  std::span<const unsigned char> bytes;  // in place, valid as long as the library is loaded
};

// Every resource of the library whose type equals `type` (ASCII case ignored) and that has a text name, in the
// library's own order.
std::vector<ModuleResource> ListModuleResources(std::string_view type);

} // namespace ondrell::graphics
