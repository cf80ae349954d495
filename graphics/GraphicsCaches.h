#pragma once

// The process-wide caches of decoded pictures and drawing typefaces, and the user registration that empties
// them when the last graphics context of the process goes away.

#include "graphics/IBitmap.h"
#include "graphics/SharedCache.h"
#include "graphics/Typeface.h"

#include <string_view>

namespace ondrell::graphics {

SharedCache<APIBitmap>& BitmapCache();
SharedCache<Typeface>& TypefaceCache();

// Under the bitmap cache's lock, looks the name up at each scale of the target's scale order; sourceScale
// receives each scale as it is tried (the found one on a hit). Null when no resolution is cached.
APIBitmap* FindCachedBitmap(std::string_view name, int targetScale, int& sourceScale);

// Held by every graphics context for its lifetime: registers it as a user of both caches, and on
// destruction unregisters it, emptying each cache whose user count reaches 0.
class GraphicsCacheUser
{
public:
  GraphicsCacheUser();
  ~GraphicsCacheUser();
  GraphicsCacheUser(const GraphicsCacheUser&) = delete;
  GraphicsCacheUser& operator=(const GraphicsCacheUser&) = delete;
};

} // namespace ondrell::graphics
