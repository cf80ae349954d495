// The library's resources on Linux: the table embedded at build time.

#include "graphics/ModuleResources.h"

#include "graphics/EmbeddedResources.h"
#include "graphics/ResourceLocator.h"

namespace ondrell::graphics {

namespace {

char UpperAscii(char c)
{
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
  {
    if (UpperAscii(a[i]) != UpperAscii(b[i]))
      return false;
  }
  return true;
}

} // namespace

std::vector<ModuleResource> ListModuleResources(std::string_view type)
{
  std::vector<ModuleResource> found;
  for (const EmbeddedResource* resource : EmbeddedResources())
  {
    if (EqualIgnoringCase(resource->type, type))
      found.push_back({std::string(resource->storedName), std::string(resource->type), resource->bytes});
  }
  return found;
}

const unsigned char* ReadEmbeddedResource(std::string_view storedName, std::string_view type, std::size_t& size)
{
  size = 0;
  for (const EmbeddedResource* resource : EmbeddedResources())
  {
    if (EqualIgnoringCase(resource->type, type) && EqualIgnoringCase(resource->storedName, storedName))
    {
      if (resource->bytes.size() <= 7)
        return nullptr;
      size = resource->bytes.size();
      return resource->bytes.data();
    }
  }
  return nullptr;
}

} // namespace ondrell::graphics
