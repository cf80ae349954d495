// The embedded Roboto: its face description (checked against FreeType's own reading of the same bytes),
// loading it by resource name and by file path into the typeface cache once, and drawing with the typeface.

#include "graphics/ModuleResources.h"
#include "graphics/FontFaceInfo.h"
#include "graphics/GraphicsCaches.h"
#include "graphics/PlatformFont.h"
#include "graphics/Typeface.h"

#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace ondrell::graphics;

namespace {

std::span<const unsigned char> EmbeddedRoboto()
{
  for (const ModuleResource& resource : ListModuleResources("TTF"))
  {
    if (resource.storedName == "\"ROBOTO-REGULAR.TTF\"")
      return resource.bytes;
  }
  return {};
}

// Every test leaves the process-wide caches empty, as a closed editor does.
class FontLoading : public ::testing::Test
{
protected:
  void SetUp() override { ASSERT_EQ(TypefaceCache().Size(), 0u); }
  GraphicsCacheUser mUser;
};

} // namespace

TEST_F(FontLoading, EmbeddedRobotoDescribesItselfAsRobotoRegular)
{
  const std::span<const unsigned char> roboto = EmbeddedRoboto();
  const FontFaceInfo info = ReadFontFaceInfo(roboto, 0);
  ASSERT_TRUE(info.IsValid());
  EXPECT_EQ(info.familyName, "Roboto");
  EXPECT_EQ(info.styleName, "Regular");
  EXPECT_EQ(info.unitsPerEm, 2048);
  EXPECT_EQ(info.styleBits, 0);
  EXPECT_FALSE(ReadFontFaceInfo(roboto, 1).IsValid());

  // FreeType reads the same "head", "hhea" and "name" tables on its own.
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ASSERT_EQ(FT_Init_FreeType(&library), 0);
  ASSERT_EQ(FT_New_Memory_Face(library, roboto.data(), static_cast<FT_Long>(roboto.size()), 0, &face), 0);
  EXPECT_EQ(info.unitsPerEm, face->units_per_EM);
  EXPECT_EQ(info.ascender, face->ascender);
  EXPECT_EQ(info.descender, face->descender);
  EXPECT_EQ(info.familyName, face->family_name);
  EXPECT_EQ(info.styleName, face->style_name);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}

TEST_F(FontLoading, LoadFontFromTheResourceFillsTheTypefaceCacheOnce)
{
  EXPECT_TRUE(LoadFont("Roboto-Regular", "Roboto-Regular.ttf"));
  Typeface* typeface = TypefaceCache().Find("Roboto-Regular", 1.0);
  ASSERT_NE(typeface, nullptr);
  EXPECT_EQ(typeface->GetFontData().faceIndex, 0);
#if defined(_WIN32)
  // Read back from the installed GDI font: the same bytes.
  const std::span<const unsigned char> bytes = typeface->GetFontData().bytes;
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), EmbeddedRoboto().begin(), EmbeddedRoboto().end()));
#else
  EXPECT_EQ(typeface->GetFontData().bytes.data(), EmbeddedRoboto().data()); // used in place, not copied
#endif
  EXPECT_EQ(typeface->GetFaceInfo().familyName, "Roboto");

  EXPECT_TRUE(LoadFont("Roboto-Regular", "ROBOTO-REGULAR.TTF"));
  EXPECT_EQ(TypefaceCache().Size(), 1u);
  EXPECT_EQ(TypefaceCache().Find("Roboto-Regular", 1.0), typeface);
}

TEST_F(FontLoading, LoadFontFromAFileKeepsItsBytesAlive)
{
  EXPECT_TRUE(LoadFont("RobotoFile", QUORL_ROBOTO_REGULAR_TTF));
  const Typeface* typeface = TypefaceCache().Find("RobotoFile", 1.0);
  ASSERT_NE(typeface, nullptr);
  EXPECT_NE(typeface->GetFontData().owner, nullptr);
  EXPECT_EQ(typeface->GetFontData().bytes.size(), EmbeddedRoboto().size());
  EXPECT_EQ(typeface->GetFaceInfo().styleName, "Regular");
}

TEST_F(FontLoading, NamesThatAreNotFontsFail)
{
  const std::filesystem::path notAFont = std::filesystem::temp_directory_path() / "quorl_not_a_font.ttf";
  std::ofstream(notAFont, std::ios::binary) << "this is not a font, only text";
  const struct
  {
    const char* id;
    std::string name;
  } cases[] = {
    {"missing", "Missing-Font.ttf"},
    {"empty", ""},
    {"picture", "QEQ_back.png"}, // a resource, but of type PNG
    {"text", notAFont.string()},
  };
  for (const auto& c : cases)
  {
    EXPECT_FALSE(LoadFont(c.id, c.name)) << c.id;
    EXPECT_EQ(TypefaceCache().Find(c.id, 1.0), nullptr) << c.id;
  }
  std::filesystem::remove(notAFont);
  EXPECT_FALSE(LoadTypeface("base", PlatformFont())); // a font without data
}

TEST_F(FontLoading, TheTypefaceDrawsText)
{
  ASSERT_TRUE(LoadFont("Roboto-Regular", "Roboto-Regular.ttf"));
  const Typeface* typeface = TypefaceCache().Find("Roboto-Regular", 1.0);
  ASSERT_NE(typeface, nullptr);
  ASSERT_EQ(cairo_font_face_status(typeface->GetCairoFace()), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_font_face_get_type(typeface->GetCairoFace()), CAIRO_FONT_TYPE_FT);

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 64, 32);
  cairo_t* cr = cairo_create(surface);
  cairo_set_font_face(cr, typeface->GetCairoFace());
  // Unhinted outlines, so the measured capital has the font's own proportions.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  cairo_set_font_size(cr, 20.0);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, "H", &extents);
  EXPECT_GT(extents.width, 5.0);
  EXPECT_NEAR(-extents.y_bearing, 20.0 * 1456.0 / 2048.0, 0.05); // Roboto's capitals are 1456 units tall
  cairo_move_to(cr, 4.0, 24.0);
  cairo_show_text(cr, "H");
  cairo_surface_flush(surface);
  int inked = 0;
  const unsigned char* data = cairo_image_surface_get_data(surface);
  for (int y = 0; y < 32; ++y)
  {
    for (int x = 0; x < 64; ++x)
      inked += data[y * cairo_image_surface_get_stride(surface) + x] > 128;
  }
  EXPECT_GT(inked, 20);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}
