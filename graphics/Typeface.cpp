#include "graphics/Typeface.h"

#include "graphics/GraphicsCaches.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <limits>

namespace ondrell::graphics {

namespace {

// What the Cairo face needs alive for as long as Cairo holds it, which may outlast the Typeface (Cairo keeps
// recently used faces): the FreeType library and face, and the owner of the bytes the face reads from.
struct FreeTypeHolder
{
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  std::shared_ptr<const void> owner;

  FreeTypeHolder() = default;
  FreeTypeHolder(const FreeTypeHolder&) = delete;
  FreeTypeHolder& operator=(const FreeTypeHolder&) = delete;
  ~FreeTypeHolder()
  {
    if (face != nullptr)
      FT_Done_Face(face);
    if (library != nullptr)
      FT_Done_FreeType(library);
  }
};

const cairo_user_data_key_t kHolderKey{};

void DestroyHolder(void* holder)
{
  delete static_cast<FreeTypeHolder*>(holder);
}

} // namespace

std::unique_ptr<Typeface> Typeface::Create(PlatformFontData data)
{
  if (!data.IsUsable() || data.bytes.size() > static_cast<std::size_t>(std::numeric_limits<FT_Long>::max()))
    return nullptr;

  auto holder = std::make_unique<FreeTypeHolder>();
  holder->owner = data.owner;
  // A library per typeface: FreeType faces of one library must not be created or used from several threads.
  if (FT_Init_FreeType(&holder->library) != 0)
  {
    holder->library = nullptr;
    return nullptr;
  }
  if (FT_New_Memory_Face(holder->library, data.bytes.data(), static_cast<FT_Long>(data.bytes.size()),
                         data.faceIndex, &holder->face) != 0)
  {
    holder->face = nullptr;
    return nullptr;
  }

  cairo_font_face_t* face = cairo_ft_font_face_create_for_ft_face(holder->face, 0);
  if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS)
  {
    cairo_font_face_destroy(face);
    return nullptr;
  }
  if (cairo_font_face_set_user_data(face, &kHolderKey, holder.get(), DestroyHolder) != CAIRO_STATUS_SUCCESS)
  {
    cairo_font_face_destroy(face);
    return nullptr;
  }
  holder.release(); // now owned by the Cairo face
  return std::unique_ptr<Typeface>(new Typeface(std::move(data), face));
}

Typeface::Typeface(PlatformFontData data, cairo_font_face_t* face) : mData(std::move(data)), mCairoFace(face) {}

Typeface::~Typeface()
{
  cairo_font_face_destroy(mCairoFace);
}

bool LoadTypeface(std::string_view fontID, const PlatformFont& font)
{
  SharedCache<Typeface>& cache = TypefaceCache();
  const auto lock = cache.Acquire();
  if (cache.Find(fontID, 1.0) != nullptr)
    return true;
  std::unique_ptr<Typeface> typeface = Typeface::Create(font.GetFontData());
  if (!typeface)
    return false;
  cache.Add(std::move(typeface), fontID, 1.0);
  return true;
}

bool LoadFont(std::string_view fontID, std::string_view fileNameOrResID)
{
  const std::unique_ptr<PlatformFont> font = LoadPlatformFont(fontID, fileNameOrResID);
  if (!font || !LoadTypeface(fontID, *font))
    return false;
  CacheNativeFont(fontID, *font);
  return true;
}

} // namespace ondrell::graphics
