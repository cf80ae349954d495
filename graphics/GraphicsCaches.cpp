#include "graphics/GraphicsCaches.h"

#include "graphics/PlatformFont.h"
#include "graphics/ResourceLocator.h"

namespace ondrell::graphics {

SharedCache<APIBitmap>& BitmapCache()
{
  static SharedCache<APIBitmap> cache;
  return cache;
}

SharedCache<Typeface>& TypefaceCache()
{
  static SharedCache<Typeface> cache;
  return cache;
}

APIBitmap* FindCachedBitmap(std::string_view name, int targetScale, int& sourceScale)
{
  SharedCache<APIBitmap>& cache = BitmapCache();
  const auto lock = cache.Acquire();
  for (const int scale : MakeScaleOrder(targetScale))
  {
    sourceScale = scale;
    if (APIBitmap* bitmap = cache.Find(name, scale))
      return bitmap;
  }
  return nullptr;
}

GraphicsCacheUser::GraphicsCacheUser()
{
  BitmapCache().AddUser();
  TypefaceCache().AddUser();
  AddPlatformFontCacheUser();
}

GraphicsCacheUser::~GraphicsCacheUser()
{
  BitmapCache().RemoveUser();
  // Typefaces made from an installed font go before it.
  TypefaceCache().RemoveUser();
  RemovePlatformFontCacheUser();
}

} // namespace ondrell::graphics
