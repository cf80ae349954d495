#include "graphics/ResourceLocator.h"

#include "graphics/ModuleResources.h"

#include <filesystem>
#include <system_error>

namespace ondrell::graphics {

namespace {

// ASCII only: resource names are plain file names, and the C library's tolower would depend on the locale.
char LowerAscii(char c)
{
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
  {
    if (LowerAscii(a[i]) != LowerAscii(b[i]))
      return false;
  }
  return true;
}

// The stored name without its enclosing quotes; an empty view for names too short to carry them.
std::string_view UnquotedName(std::string_view storedName)
{
  if (storedName.size() < 2)
    return {};
  return storedName.substr(1, storedName.size() - 2);
}

bool IsRegularFile(std::string_view name)
{
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::path(name), error);
}

} // namespace

ResourceLocation LocateResource(std::string_view name, std::string_view type, std::string& result)
{
  if (name.empty())
    return ResourceLocation::NotFound;

  for (const ModuleResource& resource : ListModuleResources(type))
  {
    const std::string_view unquoted = UnquotedName(resource.storedName);
    if (!unquoted.empty() && EqualIgnoringCase(unquoted, name))
    {
      result = resource.storedName;
      return ResourceLocation::WinResource;
    }
  }

  if (IsRegularFile(name))
  {
    result.assign(name);
    return ResourceLocation::FilePath;
  }
  return ResourceLocation::NotFound;
}

int NextScale(int targetScale, int scale)
{
  if (targetScale <= 0 || scale <= 0)
    return 0;
  if (scale == targetScale && targetScale != 3)
    return 3;
  if (scale - 1 == targetScale)
    return targetScale - 1;
  return scale - 1;
}

ScaleOrder MakeScaleOrder(int targetScale)
{
  ScaleOrder order;
  // The order never holds more than t, 3, 2 and 1; the bound only guards the array.
  for (int s = targetScale; s > 0 && order.count < static_cast<int>(order.scales.size());
       s = NextScale(targetScale, s))
    order.scales[static_cast<std::size_t>(order.count++)] = s;
  return order;
}

std::string BitmapNameForScale(std::string_view name, int scale)
{
  if (scale == 1)
    return std::string(name);

  const std::size_t lastSeparator = name.find_last_of("/\\");
  const std::size_t lastDot = name.find_last_of('.');
  const bool hasExtension =
    lastDot != std::string_view::npos && (lastSeparator == std::string_view::npos || lastDot > lastSeparator);

  const std::string_view stem = hasExtension ? name.substr(0, lastDot) : name;
  const std::string_view extension = hasExtension ? name.substr(lastDot) : std::string_view();

  std::string candidate(stem);
  candidate += '@';
  candidate += std::to_string(scale);
  candidate += 'x';
  candidate += extension;
  return candidate;
}

ResourceLocation FindBitmapResource(std::string_view name, std::string_view extension, std::string& result,
                                    int targetScale, int& sourceScale)
{
  for (const int scale : MakeScaleOrder(targetScale))
  {
    sourceScale = scale;
    const ResourceLocation location = LocateResource(BitmapNameForScale(name, scale), extension, result);
    if (location != ResourceLocation::NotFound)
      return location;
  }
  return ResourceLocation::NotFound;
}

} // namespace ondrell::graphics
