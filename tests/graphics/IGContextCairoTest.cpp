// The Cairo backend: the pixel buffer and its header, pixels of fills, bitmap frames, blends and scaled pictures
// computed independently here, text placement from the font's own metrics (read with FreeType directly),
// the scale order and reuse of cached pictures, layers, transforms and the frame written to PNG.

#include "GraphicsTestSupport.h"

#include "graphics/ModuleResources.h"
#include "graphics/GraphicsCaches.h"

#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace quorl_test;

namespace {

struct Pixel
{
  int b, g, r, a;
  bool operator==(const Pixel&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Pixel& p)
{
  return os << "BGRA(" << p.b << "," << p.g << "," << p.r << "," << p.a << ")";
}

// A control that draws whatever the test asks.
class DrawControlFn : public IControl
{
public:
  DrawControlFn(const IRect& r, std::function<void(IGContext&)> fn) : IControl(r), mFn(std::move(fn)) {}
  void Draw(IGContext& g) override { mFn(g); }

private:
  std::function<void(IGContext&)> mFn;
};

// Counts the pictures the backend decodes.
class CountingContext : public IGContextHeadless
{
public:
  using IGContextHeadless::IGContextHeadless;
  using IGContextHeadless::LoadAPIBitmap;
  std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* name, int scale, ResourceLocation location,
                                           const char* ext) override
  {
    ++decodes;
    return IGContextHeadless::LoadAPIBitmap(name, scale, location, ext);
  }
  int decodes = 0;
};

class CairoTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_EQ(BitmapCache().Size(), 0u);
    MakeContext(1.f);
  }
  void TearDown() override
  {
    ui.reset();
    // The last context leaves the shared caches empty.
    EXPECT_EQ(BitmapCache().Size(), 0u);
    EXPECT_EQ(TypefaceCache().Size(), 0u);
    for (const auto& f : files)
      std::filesystem::remove(f);
  }

  void MakeContext(float scale)
  {
    ui = std::make_unique<CountingContext>(dlg, 664, 215, 60, scale);
    ui->OnViewInitialized();
  }

  // Draws fn as the only control covering the whole editor, once.
  void DrawOnce(std::function<void(IGContext&)> fn)
  {
    ui->RemoveAllControls();
    ui->AttachControl(std::make_unique<DrawControlFn>(ui->GetBounds(), std::move(fn)));
    ASSERT_TRUE(ui->Tick());
  }

  Pixel At(int x, int y) const
  {
    const uint8_t* p = ui->GetPixels() + (static_cast<size_t>(y) * ui->GetPixelWidth() + x) * 4;
    return {p[0], p[1], p[2], p[3]};
  }

  // An opaque picture whose every pixel is known: colour = f(x, y).
  static Pixel Pattern(int x, int y) { return {(x * 29 + y * 7) % 256, (x * 3 + y * 41) % 256, (x * y + 11) % 256, 255}; }

  std::string WritePatternPng(int w, int h, const std::string& name)
  {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
      {
        const Pixel p = Pattern(x, y);
        unsigned char* d = data + y * stride + x * 4;
        d[0] = static_cast<unsigned char>(p.b);
        d[1] = static_cast<unsigned char>(p.g);
        d[2] = static_cast<unsigned char>(p.r);
        d[3] = 255;
      }
    cairo_surface_mark_dirty(s);
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    EXPECT_EQ(cairo_surface_write_to_png(s, path.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    files.push_back(path);
    return path;
  }

  TestDelegate dlg;
  std::unique_ptr<CountingContext> ui;
  std::vector<std::string> files;
};

std::span<const unsigned char> EmbeddedFont()
{
  const std::vector<ModuleResource> fonts = ListModuleResources("TTF");
  return fonts.empty() ? std::span<const unsigned char>() : fonts.front().bytes;
}

} // namespace

TEST_F(CairoTest, PixelBufferAndHeader)
{
  EXPECT_STREQ(ui->GetDrawingAPIStr(), "CAIRO | CPU");
  ui->Resize(664, 215, 1.5f);
  ASSERT_EQ(ui->GetPixelWidth(), 996);
  ASSERT_EQ(ui->GetPixelHeight(), 322);
  const std::vector<uint8_t>& buf = ui->GetPixelBuffer();
  ASSERT_EQ(buf.size(), 996u * 322u * 4u + 40u);
  const auto i32 = [&buf](size_t at) {
    return static_cast<int32_t>(buf[at] | buf[at + 1] << 8 | buf[at + 2] << 16 | static_cast<uint32_t>(buf[at + 3]) << 24);
  };
  EXPECT_EQ(i32(0), 40);
  EXPECT_EQ(i32(4), 996);
  EXPECT_EQ(i32(8), -322);
  EXPECT_EQ(buf[12] | buf[13] << 8, 1);
  EXPECT_EQ(buf[14] | buf[15] << 8, 32);
  for (size_t i = 16; i < 40; ++i)
    EXPECT_EQ(buf[i], 0) << i;
}

TEST_F(CairoTest, FilledRectangleCoversExactlyItsPixels)
{
  for (const float scale : {1.f, 2.f})
  {
    ui->Resize(664, 215, scale);
    DrawOnce([](IGContext& g) {
      g.FillRect(IColor(255, 0, 0, 0), g.GetBounds());
      g.FillRect(IColor(255, 200, 100, 50), IRect(10, 20, 30, 25));
      g.FillRect(IColor(128, 255, 0, 0), IRect(40, 20, 41, 21));
    });
    const int s = static_cast<int>(scale);
    for (int y = 18 * s; y < 27 * s; ++y)
      for (int x = 8 * s; x < 32 * s; ++x)
      {
        const bool inside = x >= 10 * s && x < 30 * s && y >= 20 * s && y < 25 * s;
        EXPECT_EQ(At(x, y), (inside ? Pixel{50, 100, 200, 255} : Pixel{0, 0, 0, 255})) << x << "," << y << " @" << s;
      }
    // Half-transparent red over opaque black: red 255 x 128/255 = 128, alpha stays 255.
    EXPECT_EQ(At(40 * s, 20 * s), (Pixel{0, 0, 128, 255}));
  }
}

TEST_F(CairoTest, BitmapFrameIsCopiedOneToOneAtScaleOne)
{
  const std::string path = WritePatternPng(12, 24, "quorl_frames.png"); // two frames of 12 x 12
  APIBitmap* loaded = nullptr;
  DrawOnce([&](IGContext& g) {
    const IBitmap bitmap = g.LoadBitmap(path.c_str(), 2, false, 1);
    loaded = bitmap.GetAPIBitmap();
    g.DrawBitmap(bitmap, IRect(100, 50, 112, 62), 2, nullptr);
  });
  ASSERT_NE(loaded, nullptr);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x)
      EXPECT_EQ(At(100 + x, 50 + y), Pattern(x, y + 12)) << x << "," << y;
  EXPECT_EQ(At(99, 50), (Pixel{0, 0, 0, 0}));   // nothing beside the destination
  EXPECT_EQ(At(100, 62), (Pixel{0, 0, 0, 0}));  // nor below it (the next frame stays out)
  EXPECT_EQ(ui->decodes, 1);
}

TEST_F(CairoTest, BlendWeightSetsTheOpacity)
{
  const std::string path = WritePatternPng(4, 4, "quorl_blend.png");
  DrawOnce([&](IGContext& g) {
    const IBitmap bitmap = g.LoadBitmap(path.c_str(), 1, false, 1);
    const IBlend half(0, 0.5f);
    const IBlend over(0, 1.2f);
    g.DrawBitmap(bitmap, IRect(0, 0, 4, 4), 1, &half);
    g.DrawBitmap(bitmap, IRect(10, 0, 14, 4), 1, &over);
  });
  // int(0.5 x 255) = 127: alpha 127, colours premultiplied by 127/255.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
    {
      const Pixel src = Pattern(x, y);
      const Pixel got = At(x, y);
      EXPECT_EQ(got.a, 127);
      EXPECT_NEAR(got.r, src.r * 127.0 / 255.0, 1.0);
      EXPECT_NEAR(got.b, src.b * 127.0 / 255.0, 1.0);
      EXPECT_EQ(At(10 + x, y), src); // a weight above 1 is full opacity
    }
}

TEST_F(CairoTest, DoubleResolutionPictureIsDrawnAtHalfSize)
{
  // 2 x 2 blocks of one colour at scale 2: each block becomes one pixel at draw scale 1.
  const int w = 8, h = 4;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  unsigned char* data = cairo_image_surface_get_data(s);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      const Pixel p = Pattern(x / 2, y / 2);
      unsigned char* d = data + y * cairo_image_surface_get_stride(s) + x * 4;
      d[0] = static_cast<unsigned char>(p.b);
      d[1] = static_cast<unsigned char>(p.g);
      d[2] = static_cast<unsigned char>(p.r);
      d[3] = 255;
    }
  cairo_surface_mark_dirty(s);
  std::vector<unsigned char> png;
  cairo_surface_write_to_png_stream(
    s,
    [](void* closure, const unsigned char* bytes, unsigned int length) {
      auto* out = static_cast<std::vector<unsigned char>*>(closure);
      out->insert(out->end(), bytes, bytes + length);
      return CAIRO_STATUS_SUCCESS;
    },
    &png);
  cairo_surface_destroy(s);

  std::unique_ptr<APIBitmap> picture = ui->LoadAPIBitmap("blocks", png.data(), static_cast<int>(png.size()), 2);
  ASSERT_NE(picture, nullptr);
  const IBitmap bitmap(picture.get(), 1, false);
  EXPECT_EQ(bitmap.W(), 4);
  EXPECT_EQ(bitmap.H(), 2);
  DrawOnce([&](IGContext& g) { g.DrawBitmap(bitmap, IRect(20, 30, 24, 32), 1, nullptr); });
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(At(20 + x, 30 + y), Pattern(x, y)) << x << "," << y;
  EXPECT_EQ(At(24, 30).a, 0);
}

TEST_F(CairoTest, TextIsPlacedFromTheFontsOwnMetrics)
{
  // The font's numbers, read with FreeType directly from the embedded bytes.
  const std::span<const unsigned char> font = EmbeddedFont();
  ASSERT_FALSE(font.empty());
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  ASSERT_EQ(FT_New_Memory_Face(lib, font.data(), static_cast<FT_Long>(font.size()), 0, &face), 0);
  const double upem = face->units_per_EM, asc = face->ascender, desc = face->descender;
  const auto advanceUnits = [&](const char* s) {
    double sum = 0;
    for (const char* p = s; *p; ++p)
    {
      EXPECT_EQ(FT_Load_Char(face, static_cast<FT_ULong>(*p), FT_LOAD_NO_SCALE), 0);
      sum += static_cast<double>(face->glyph->advance.x);
    }
    return sum;
  };
  const double versionUnits = advanceUnits("4.1.0");
  const double wideUnits = advanceUnits("Quorl EQ");
  FT_Done_Face(face);
  FT_Done_FreeType(lib);

  IRect r(10, 10, 100, 30);
  EXPECT_EQ(ui->MeasureText(IText(), "Quorl", r), 0.f); // font not loaded yet
  EXPECT_EQ(r, IRect());

  ASSERT_TRUE(ui->LoadFont("Roboto-Regular", "Roboto-Regular.ttf"));

  // Size 12: the em is 12 x upem / (ascender - descender), so ascender to descender spans 12 points.
  const double size = 12.0;
  const double em = size * upem / (asc - desc);
  const double w = versionUnits * em / upem;
  const double ascent = -asc * em / upem;
  const double descent = -desc * em / upem;

  struct Case
  {
    EAlign align;
    EVAlign valign;
    double x;       // expected left edge
    double baseline;
  };
  const IRect box(576, 195, 656, 215);
  const Case cases[] = {
    {EAlign::Near, EVAlign::Middle, 576.0, (195.0 + 215.0) / 2.0 - descent + size / 2.0},
    {EAlign::Center, EVAlign::Top, (576.0 + 656.0) / 2.0 - w / 2.0, 195.0 - ascent},
    {EAlign::Far, EVAlign::Bottom, 656.0 - w, 215.0 - descent},
  };
  for (const Case& c : cases)
  {
    IText style(12.f, COLOR_WHITE, "Roboto-Regular", c.align, c.valign);
    IRect m = box;
    const float measured = ui->MeasureText(style, "4.1.0", m);
    EXPECT_NEAR(measured, w, 1e-3);
    EXPECT_NEAR(m.L, c.x, 1e-3);
    EXPECT_NEAR(m.R, c.x + w, 1e-3);
    EXPECT_NEAR(m.T, c.baseline + ascent, 1e-3);
    EXPECT_NEAR(m.B, c.baseline + ascent + size, 1e-3);
  }
  // Centred in a box from 10 to 110: x = 60 - w / 2.
  IRect centred(10, 0, 110, 20);
  const float wide = ui->MeasureText(IText(12.f, COLOR_WHITE), "Quorl EQ", centred);
  EXPECT_NEAR(wide, wideUnits * em / upem, 1e-3);
  EXPECT_NEAR(centred.L, 60.0 - wide / 2.0, 1e-3);

  // A quarter-turned text occupies the turned box: as wide as the text is high.
  IText turned(12.f, COLOR_WHITE, "Roboto-Regular", EAlign::Near, EVAlign::Top, 90.f);
  IRect t = box;
  EXPECT_NEAR(ui->MeasureText(turned, "4.1.0", t), size, 1e-3);
  EXPECT_NEAR(t.H(), w, 1e-3);

  // Drawn: white ink inside the measured box (give anti-aliasing one pixel), none outside.
  IText version(12.f, COLOR_WHITE, "Roboto-Regular", EAlign::Near, EVAlign::Middle);
  IRect inkBox = box;
  ui->MeasureText(version, "4.1.0", inkBox);
  DrawOnce([&](IGContext& g) { g.DrawText(version, "4.1.0", box); });
  int inside = 0, outside = 0;
  for (int y = 190; y < 215; ++y)
    for (int x = 570; x < 664; ++x)
    {
      const bool near = x >= inkBox.L - 1 && x < inkBox.R + 1 && y >= inkBox.T - 1 && y < inkBox.B + 1;
      (near ? inside : outside) += At(x, y).a > 0 ? 1 : 0;
    }
  EXPECT_GT(inside, 20);
  EXPECT_EQ(outside, 0);

  // Malformed UTF-8 is drawn repaired and does not stop later drawing.
  DrawOnce([&](IGContext& g) {
    g.DrawText(version, "bad \xC3\x28 text", IRect(0, 0, 200, 20));
    g.FillRect(COLOR_WHITE, IRect(300, 100, 301, 101));
  });
  EXPECT_EQ(At(300, 100), (Pixel{255, 255, 255, 255}));
}

TEST_F(CairoTest, ScaleOrderAndCacheReuse)
{
  // Draw scale 1: the 1x background, 664 x 215 points.
  IBitmap back = ui->LoadBitmap("QEQ_back.png", 1, false);
  ASSERT_TRUE(back.IsValid());
  EXPECT_EQ(back.GetAPIBitmap()->GetWidth(), 664);
  EXPECT_EQ(back.W(), 664);
  EXPECT_EQ(back.H(), 215);
  EXPECT_EQ(ui->decodes, 1);
  // Again at the same scale: the cached picture, not a second decode.
  EXPECT_EQ(ui->LoadBitmap("QEQ_back.png", 1, false).GetAPIBitmap(), back.GetAPIBitmap());
  EXPECT_EQ(ui->decodes, 1);

  // Draw scale 1.5 targets 2: the double-resolution picture, same point size.
  ui->Resize(664, 215, 1.5f);
  IBitmap back2 = ui->LoadBitmap("QEQ_back.png", 1, false);
  EXPECT_EQ(back2.GetAPIBitmap()->GetWidth(), 1328);
  EXPECT_EQ(back2.GetScale(), 2.f);
  EXPECT_EQ(back2.W(), 664);
  EXPECT_EQ(ui->decodes, 2);

  // Scale 3 has no picture of its own: the 2x one is redrawn at 3 and cached under 3, decoded only if the 2x
  // picture is not cached yet.
  const size_t before = BitmapCache().Size();
  IBitmap back3 = ui->LoadBitmap("QEQ_back.png", 1, false, 3);
  ASSERT_TRUE(back3.IsValid());
  EXPECT_EQ(back3.GetAPIBitmap()->GetWidth(), 1992);
  EXPECT_EQ(back3.GetAPIBitmap()->GetHeight(), 645);
  EXPECT_EQ(back3.GetScale(), 3.f);
  EXPECT_EQ(back3.W(), 664);
  EXPECT_EQ(ui->decodes, 2);
  EXPECT_EQ(BitmapCache().Size(), before + 1);
  EXPECT_EQ(BitmapCache().Find("QEQ_back.png", 3.0), back3.GetAPIBitmap());
  EXPECT_EQ(ui->LoadBitmap("QEQ_back.png", 1, false, 3).GetAPIBitmap(), back3.GetAPIBitmap());

  // A knob strip at scale 3 with no 2x picture cached yet: decoded at 2, scaled, and only the result is kept.
  IBitmap knob3 = ui->LoadBitmap("smallknob.png", 1, false, 3);
  EXPECT_EQ(ui->decodes, 3);
  EXPECT_EQ(BitmapCache().Find("smallknob.png", 2.0), nullptr);
  EXPECT_NE(BitmapCache().Find("smallknob.png", 3.0), nullptr);
  EXPECT_EQ(knob3.W(), 752);

  // The large knob's 2x picture is 1888 x 2006 pixels: 944 x 1003 points.
  IBitmap big = ui->LoadBitmap("x271_frame_stack_fixed_again.png", 1, false, 2);
  EXPECT_EQ(big.W(), 944);
  EXPECT_EQ(big.H(), 1003);

  // Unsupported or missing extensions give an empty handle without any search or decode.
  const int decodes = ui->decodes;
  EXPECT_FALSE(ui->LoadBitmap("QEQ_back", 1, false).IsValid());
  EXPECT_FALSE(ui->LoadBitmap("QEQ_back.jpg", 1, false).IsValid());
  EXPECT_FALSE(ui->LoadBitmap("no_such_picture.png", 1, false).IsValid());
  EXPECT_EQ(ui->decodes, decodes);
}

TEST_F(CairoTest, ScaledPictureMatchesItsSource)
{
  // A picture redrawn at 3 from 2: where the source is flat, the result has the same colour.
  ui->Resize(664, 215, 1.f);
  IBitmap at2 = ui->LoadBitmap("QEQ_OS.png", 2, false, 2);
  IBitmap at3 = ui->LoadBitmap("QEQ_OS.png", 2, false, 3);
  ASSERT_TRUE(at2.IsValid() && at3.IsValid());
  EXPECT_EQ(at3.GetAPIBitmap()->GetWidth(), 87);
  EXPECT_EQ(at3.GetAPIBitmap()->GetHeight(), 174);
  EXPECT_EQ(at3.FW(), 29);
  EXPECT_EQ(at3.FH(), 29);
}

TEST_F(CairoTest, PrimitivesTransformsClipAndLayers)
{
  DrawOnce([](IGContext& g) {
    g.FillCircle(IColor(255, 255, 0, 0), 50, 50, 10);
    g.FillRoundRect(IColor(255, 0, 255, 0), IRect(100, 20, 140, 60), 10);
    g.PathTransformTranslate(200, 10);
    g.FillRect(IColor(255, 0, 0, 255), IRect(0, 0, 5, 5));
    g.PathTransformReset();
    g.PathTransformScale(0, 1); // cannot be inverted: nothing is drawn
    g.FillRect(IColor(255, 255, 255, 255), IRect(300, 0, 310, 10));
    g.PathTransformReset();
    g.DrawLine(IColor(255, 255, 255, 0), 400, 10.5f, 420, 10.5f, nullptr, 1.f);
    g.PathClipRegion(IRect(500, 0, 505, 5));
    g.FillRect(IColor(255, 255, 255, 255), IRect(495, 0, 515, 10));
    g.PathClipRegion();
    g.FillTriangle(IColor(255, 255, 0, 255), 600, 0, 640, 0, 640, 40);
  });
  EXPECT_EQ(At(50, 50), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(At(50, 39).a, 0);
  EXPECT_EQ(At(120, 40), (Pixel{0, 255, 0, 255}));
  EXPECT_EQ(At(100, 20).a, 0); // the rounded corner leaves the corner pixel out
  EXPECT_EQ(At(202, 12), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(At(199, 12).a, 0);
  EXPECT_EQ(At(305, 5).a, 0);
  EXPECT_EQ(At(410, 10), (Pixel{0, 255, 255, 255}));
  EXPECT_EQ(At(502, 2), (Pixel{255, 255, 255, 255}));
  EXPECT_EQ(At(497, 2).a, 0);
  EXPECT_EQ(At(507, 7).a, 0);
  EXPECT_EQ(At(635, 20), (Pixel{255, 0, 255, 255}));
  EXPECT_EQ(At(605, 20).a, 0);
  EXPECT_EQ(ui->GetPoint(50, 50), IColor(255, 255, 0, 0));

  // A layer collects drawing off-screen; drawn back it lands where it was made.
  ILayerPtr layer;
  std::vector<uint8_t> layerBytes;
  DrawOnce([&](IGContext& g) {
    g.StartLayer(nullptr, IRect(10, 100, 21, 110));
    g.FillRect(IColor(255, 10, 20, 30), IRect(10, 100, 21, 110));
    EXPECT_EQ(g.GetPoint(0, 0), IColor(255, 10, 20, 30));
    layer = g.EndLayer();
    g.GetLayerBitmapData(layer, layerBytes);
    g.DrawLayer(layer);
  });
  EXPECT_EQ(At(15, 105), (Pixel{30, 20, 10, 255}));
  EXPECT_EQ(At(21, 105).a, 0);
  EXPECT_EQ(layerBytes.size(), 16u * 4u * 10u); // 11 pixels wide: rows rounded up to 16 pixels
  EXPECT_EQ(layerBytes[0], 30);
}

TEST_F(CairoTest, RotatedBitmapAndDottedLine)
{
  const std::string path = WritePatternPng(4, 2, "quorl_rotated.png");
  DrawOnce([&](IGContext& g) {
    const IBitmap bitmap = g.LoadBitmap(path.c_str(), 1, false, 1);
    // A quarter turn clockwise about (300, 150): source (u, v) from the centre lands at (-v, u).
    g.DrawRotatedBitmap(bitmap, 300, 150, 90);
    g.DrawDottedLine(IColor(255, 255, 255, 255), 400, 20.5f, 420, 20.5f, nullptr, 1.f, 2.f);
  });
  EXPECT_EQ(At(299, 148), Pattern(0, 1));
  EXPECT_EQ(At(300, 151), Pattern(3, 0));
  EXPECT_EQ(At(298, 150).a, 0);
  EXPECT_EQ(At(400, 20).a, 255);
  EXPECT_EQ(At(401, 20).a, 255);
  EXPECT_EQ(At(402, 20).a, 0);
  EXPECT_EQ(At(404, 20).a, 255);
}

TEST_F(CairoTest, GradientsFollowTheirPatternSpace)
{
  DrawOnce([](IGContext& g) {
    g.PathRect(IRect(0, 0, 101, 10));
    g.PathFill(IPattern::Linear(0.5f, 0, 100.5f, 0, {{COLOR_BLACK, 0.f}, {COLOR_WHITE, 1.f}}));
    g.PathRect(IRect(200, 0, 260, 60));
    g.PathFill(IPattern::Radial(230.5f, 30.5f, 20.f, {{COLOR_WHITE, 0.f}, {COLOR_BLACK, 1.f}}));
    const IBlend half(0, 0.5f);
    g.PathRect(IRect(300, 0, 310, 10));
    g.PathFill(IPattern::Linear(300, 0, 310, 0, {{COLOR_WHITE, 0.f}, {COLOR_WHITE, 1.f}}), IFillOptions(), &half);
  });
  // Pixel centres x + 0.5 lie at x / 100 of the way from black to white.
  for (const int x : {0, 25, 50, 75, 100})
    EXPECT_NEAR(At(x, 5).r, 255.0 * x / 100.0, 1.0) << x;
  EXPECT_NEAR(At(230, 30).r, 255, 1);
  EXPECT_NEAR(At(240, 30).r, 255.0 * 0.5, 2.0); // half the radius
  EXPECT_EQ(At(255, 30).r, 0);                  // beyond the radius the last stop holds
  EXPECT_EQ(At(305, 5).a, 128);                 // stop alphas are weighted: 255 x 0.5
}

TEST_F(CairoTest, DropShadowIsBlurredBlackAtHalfOpacity)
{
  DrawOnce([](IGContext& g) { g.DrawFastDropShadow(IRect(100, 50, 200, 150), IRect(90, 40, 210, 160), 5, 0, 4); });
  // Deep inside, the blur has no effect: black at alpha 128.
  EXPECT_EQ(At(155, 105), (Pixel{0, 0, 0, 128}));
  // Far outside, nothing; across the edge it fades.
  EXPECT_EQ(At(150, 170).a, 0);
  EXPECT_GT(At(205, 105).a, 20);
  EXPECT_LT(At(205, 105).a, 100);
  EXPECT_GT(At(203, 105).a, At(205, 105).a);
}

TEST_F(CairoTest, FrameIsWrittenAsPng)
{
  DrawOnce([](IGContext& g) { g.FillRect(IColor(255, 1, 2, 3), g.GetBounds()); });
  const std::string path = (std::filesystem::temp_directory_path() / "quorl_frame.png").string();
  files.push_back(path);
  ASSERT_TRUE(ui->WriteFramePNG(path.c_str()));
  cairo_surface_t* back = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(back), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(back), 664);
  EXPECT_EQ(cairo_image_surface_get_height(back), 215);
  const unsigned char* p = cairo_image_surface_get_data(back);
  EXPECT_EQ(p[0], 3);
  EXPECT_EQ(p[2], 1);
  cairo_surface_destroy(back);
}
