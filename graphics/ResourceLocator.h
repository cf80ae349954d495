#pragma once

// Finding pictures and fonts by name: embedded resources first (case-insensitive), then files, and the
// resolution variants of a picture ("name@2x.png") in the order the editor prefers them.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace ondrell::graphics {

// Where LocateResource found a name. WinResource means "a resource embedded in the library" on every platform.
enum class ResourceLocation
{
  NotFound = 0,
  FilePath = 1,
  WinResource = 2,
};

// Looks the name up among the embedded resources of the given type (both compared ignoring case); on a hit
// result receives the full stored name, quotes included. Otherwise an existing regular file at the name as
// given (absolute or relative to the working directory) gives FilePath with the name in result.
ResourceLocation LocateResource(std::string_view name, std::string_view type, std::string& result);

// The bytes of the library's resource with that stored name and type (ASCII case ignored), used in place.
// Resources of 7 bytes or fewer count as missing: null and size 0. Defined with the library's resources
// (graphics/ModuleResources.h).
const unsigned char* ReadEmbeddedResource(std::string_view storedName, std::string_view type, std::size_t& size);

// The resolutions tried for a target scale t: t first, then 3 (unless t is 3), then downwards, skipping t.
// t = 1 gives 1, 3, 2; t = 2 gives 2, 3, 1; t = 3 gives 3, 2, 1; t >= 4 gives t, 3, 2, 1; t <= 0 gives nothing.
struct ScaleOrder
{
  std::array<int, 4> scales{};
  int count = 0;

  const int* begin() const { return scales.data(); }
  const int* end() const { return scales.data() + count; }
};

// The resolution after s in the order for target t, or 0 when the order ends there (also for t or s <= 0).
int NextScale(int targetScale, int scale);
ScaleOrder MakeScaleOrder(int targetScale);

// The name of a picture's variant made for the given scale: the name itself for scale 1, otherwise
// "<name without extension>@<scale>x<.extension>", where the extension is what follows the last "." after the
// last "/" or "\" (a name without one gets none: "knob" at 2 gives "knob@2x").
std::string BitmapNameForScale(std::string_view name, int scale);

// Tries the variants of the name in the scale order of the target; sourceScale receives the scale of each
// candidate as it is tried (the found one on success). result receives the stored name or path.
ResourceLocation FindBitmapResource(std::string_view name, std::string_view extension, std::string& result,
                                    int targetScale, int& sourceScale);

} // namespace ondrell::graphics
