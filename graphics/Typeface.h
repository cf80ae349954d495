#pragma once

// Drawing typefaces made with FreeType from font bytes, in the form the Cairo backend draws text with, and the
// font loading sequence of the graphics context (platform font, then typeface).

#include "graphics/PlatformFont.h"

#include <memory>
#include <string_view>

typedef struct _cairo_font_face cairo_font_face_t;

namespace ondrell::graphics {

// Threads: made and destroyed under the typeface cache's lock by editor threads; the Cairo face is used by the
// drawing thread that holds that lock. Owns its font data; the FreeType face lives as long as Cairo needs it.
class Typeface
{
public:
  // A typeface of the data's chosen face; null when the data is unusable or FreeType refuses it.
  static std::unique_ptr<Typeface> Create(PlatformFontData data);

  Typeface(const Typeface&) = delete;
  Typeface& operator=(const Typeface&) = delete;
  ~Typeface();

  const PlatformFontData& GetFontData() const { return mData; }
  const FontFaceInfo& GetFaceInfo() const { return mData.info; }

  // Borrowed: valid while this typeface lives; Cairo takes its own reference when a font is set.
  cairo_font_face_t* GetCairoFace() const { return mCairoFace; }

private:
  Typeface(PlatformFontData data, cairo_font_face_t* face);

  PlatformFontData mData;
  cairo_font_face_t* mCairoFace;
};

// The backend's font step: under the typeface cache's lock, succeeds at once when fontID is cached; otherwise
// makes a typeface from the font's data and caches it under (fontID, 1). False for unusable data.
bool LoadTypeface(std::string_view fontID, const PlatformFont& font);

// The whole loading sequence: LoadPlatformFont (fontID, name), then LoadTypeface; false when either fails.
bool LoadFont(std::string_view fontID, std::string_view fileNameOrResID);

} // namespace ondrell::graphics
