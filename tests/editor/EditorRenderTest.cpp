// The whole editor drawn by the windowless context at draw scales 1 and 2, checked against pixels computed here
// from the picture files themselves (decoded with Cairo directly): uncovered background, knob cells and the
// switch frame composited over it, the corner's translucent triangle, the version text's placement and the value
// read-out's plate, the frames chosen for host values. The frames are also written next to the test program
// (editor-1x.png, editor-2x.png, editor-dragging-*.png, editor-host-values-*.png, editor-resizing.png) to be
// looked at.

#include "EditorTestSupport.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace quorl_editor_test;

namespace {

struct Pixel
{
  int b, g, r, a; // premultiplied, as both Cairo and the context store them
};

std::ostream& operator<<(std::ostream& os, const Pixel& p)
{
  return os << "BGRA(" << p.b << "," << p.g << "," << p.r << "," << p.a << ")";
}

// A picture file of resources/, decoded by Cairo.
class Picture
{
public:
  explicit Picture(const std::string& file)
    : mSurface(cairo_image_surface_create_from_png((std::string(QUORL_SOURCE_DIR) + "/resources/" + file).c_str()))
  {
  }
  ~Picture() { cairo_surface_destroy(mSurface); }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  bool Ok() const { return cairo_surface_status(mSurface) == CAIRO_STATUS_SUCCESS; }
  int W() const { return cairo_image_surface_get_width(mSurface); }
  int H() const { return cairo_image_surface_get_height(mSurface); }
  Pixel At(int x, int y) const
  {
    cairo_surface_flush(mSurface);
    const unsigned char* p = cairo_image_surface_get_data(mSurface) +
                             static_cast<size_t>(y) * static_cast<size_t>(cairo_image_surface_get_stride(mSurface)) +
                             static_cast<size_t>(x) * 4;
    const bool opaque = cairo_image_surface_get_format(mSurface) == CAIRO_FORMAT_RGB24;
    return Pixel{p[0], p[1], p[2], opaque ? 255 : p[3]};
  }

private:
  cairo_surface_t* mSurface;
};

// src over dst, premultiplied.
Pixel Over(const Pixel& src, const Pixel& dst)
{
  const auto mix = [&](int s, int d) {
    return s + static_cast<int>(std::lround(static_cast<double>(d) * (255 - src.a) / 255.0));
  };
  return Pixel{mix(src.b, dst.b), mix(src.g, dst.g), mix(src.r, dst.r), mix(src.a, dst.a)};
}

Pixel FramePixel(const IGContextHeadless& ui, int x, int y)
{
  const uint8_t* p = ui.GetPixels() + (static_cast<size_t>(y) * static_cast<size_t>(ui.GetPixelWidth()) +
                                       static_cast<size_t>(x)) * 4;
  return Pixel{p[0], p[1], p[2], p[3]};
}

::testing::AssertionResult Near(const Pixel& got, const Pixel& want, int tolerance)
{
  if (std::abs(got.b - want.b) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
      std::abs(got.r - want.r) <= tolerance && std::abs(got.a - want.a) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << got << ", want " << want;
}

int Brightness(const Pixel& p)
{
  return (p.r + p.g + p.b) / 3;
}

class EditorRenderTest : public ::testing::TestWithParam<int>
{
protected:
  // The editor opened at the parameter's draw scale and drawn once.
  IGContextHeadless& OpenAndDraw()
  {
    const int s = GetParam();
    home.WritePrefFile(std::to_string(s) + ".0000\n");
    IGContextHeadless& ui = rig.Open();
    EXPECT_FLOAT_EQ(ui.GetDrawScale(), static_cast<float>(s));
    EXPECT_TRUE(ui.Tick());
    return ui;
  }
  std::string Suffix() const { return GetParam() == 1 ? "" : "@" + std::to_string(GetParam()) + "x"; }
  std::string OutputPath(const std::string& name) const { return std::string(QUORL_RENDER_DIR) + "/" + name; }

  ScopedConfigHome home;
  EditorRig rig;
};

TEST_P(EditorRenderTest, WholeEditorMatchesItsPictures)
{
  const int s = GetParam();
  IGContextHeadless& ui = OpenAndDraw();
  ASSERT_EQ(ui.GetPixelWidth(), 664 * s);
  ASSERT_EQ(ui.GetPixelHeight(), 215 * s);
  EXPECT_TRUE(ui.WriteFramePNG(OutputPath("editor-" + std::to_string(s) + "x.png").c_str()));

  const Picture back("QEQ_back" + Suffix() + ".png");
  const Picture level("smallknob" + Suffix() + ".png");
  const Picture frequency("x271_frame_stack_fixed_again" + Suffix() + ".png");
  const Picture sw("QEQ_OS" + Suffix() + ".png");
  ASSERT_TRUE(back.Ok() && level.Ok() && frequency.Ok() && sw.Ok());
  ASSERT_EQ(back.W(), 664 * s);

  // Background where no control draws: copied pixel for pixel.
  for (const auto& [x, y] : {std::pair{5, 5}, std::pair{300, 120}, std::pair{120, 20}, std::pair{630, 20},
                             std::pair{10, 200}, std::pair{450, 110}})
  {
    for (int j = 0; j < 3 * s; ++j)
      for (int i = 0; i < 3 * s; ++i)
        EXPECT_TRUE(Near(FramePixel(ui, x * s + i, y * s + j), back.At(x * s + i, y * s + j), 0))
          << "background at " << x * s + i << ", " << y * s + j;
  }

  // A knob cell over the background: the cell of the value in the grid of 16 columns, centred in the knob's rect.
  struct Knob
  {
    const Picture& strip;
    float rectL, rectT, rectSize; // points
    double value;                 // the parameter's default, normalised
  };
  const int freqCell = s == 1 ? 64 : 118; // pixels per cell
  const int levelCell = 47 * s;
  const Knob knobs[] = {
    {frequency, 158.f, 50.f, 64.f, 0.0},          // HPF "Off"
    {frequency, 367.f, 29.f, 64.f, 2.0 / 5.0},    // MF 1 Freq "240 Hz"
    {level, 53.f, 92.f, 47.f, 20.0 / 30.0},       // Gain 0 dB
    {level, 581.f, 80.f, 47.f, 0.5},              // HiShelf Level 0 dB
  };
  for (const Knob& k : knobs)
  {
    const int cellPx = &k.strip == &frequency ? freqCell : levelCell;
    const int cell = static_cast<int>(270.0 * k.value + 0.5);
    const int sx = cellPx * (cell % 16);
    const int sy = cellPx * (cell / 16);
    // The cell's top-left in pixels: the rect's centre less half a cell (whole pixels at both scales).
    const double left = (k.rectL + k.rectSize / 2.0) * s - cellPx / 2.0;
    const double top = (k.rectT + k.rectSize / 2.0) * s - cellPx / 2.0;
    ASSERT_EQ(left, std::floor(left));
    const int dx = static_cast<int>(left);
    const int dy = static_cast<int>(top);
    int checked = 0;
    for (int j = 1; j < cellPx - 1; j += 5)
      for (int i = 1; i < cellPx - 1; i += 5)
      {
        const Pixel want = Over(k.strip.At(sx + i, sy + j), back.At(dx + i, dy + j));
        EXPECT_TRUE(Near(FramePixel(ui, dx + i, dy + j), want, 2)) << "knob at " << k.rectL << " pixel " << i << ", " << j;
        ++checked;
      }
    EXPECT_GT(checked, 50);
  }

  // The switch is off: frame 1, the top half of its picture.
  for (int j = 0; j < 29 * s; j += 3)
    for (int i = 0; i < 29 * s; i += 3)
      EXPECT_TRUE(Near(FramePixel(ui, 173 * s + i, 157 * s + j), Over(sw.At(i, j), back.At(173 * s + i, 157 * s + j)), 2))
        << "switch pixel " << i << ", " << j;

  // The corner: black at 10/255 over the lower-right half of its triangle square, nothing over the other half.
  const int triR = 663 * s;
  const int triB = 214 * s;
  for (const auto& [x, y] : {std::pair{triR - 2, triB - 2}, std::pair{triR - 3, triB - 8}, std::pair{triR - 8, triB - 3}})
  {
    const Pixel want = Over(Pixel{0, 0, 0, 10}, back.At(x, y));
    EXPECT_TRUE(Near(FramePixel(ui, x, y), want, 1)) << "triangle at " << x << ", " << y;
  }
  for (const auto& [x, y] : {std::pair{triR - 14, triB - 14}, std::pair{triR - 15, triB - 12}})
    EXPECT_TRUE(Near(FramePixel(ui, x, y), back.At(x, y), 0)) << "above the triangle at " << x << ", " << y;

  // The version text: light ink inside its box (x 576 to 656, the bottom 20 points), starting at the box's left
  // and vertically centred in it; the background just left of the box is untouched.
  int minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1, brightest = 0;
  for (int y = 195 * s; y < 215 * s; ++y)
    for (int x = 576 * s; x < 656 * s; ++x)
    {
      const Pixel got = FramePixel(ui, x, y);
      const Pixel bg = back.At(x, y);
      if (Brightness(got) > Brightness(bg) + 40)
      {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
        brightest = std::max(brightest, Brightness(got));
      }
    }
  ASSERT_GE(maxX, 0) << "no text drawn";
  EXPECT_GE(minX, 576 * s);
  EXPECT_LE(minX, 576 * s + 2 * s);
  // Five characters of a 12-point face are about 25 points wide.
  EXPECT_GT(maxX - minX, 18 * s);
  EXPECT_LT(maxX - minX, 34 * s);
  EXPECT_NEAR((minY + maxY) / 2.0, 205.0 * s, 2.5 * s);
  EXPECT_GT(brightest, 150);
  for (int y = 195 * s; y < 215 * s; ++y)
    for (int x = 560 * s; x < 576 * s; ++x)
      ASSERT_TRUE(Near(FramePixel(ui, x, y), back.At(x, y), 0)) << "left of the version box at " << x << ", " << y;
}

TEST_P(EditorRenderTest, ReadOutPlateDarkensTheKnobWhileDragging)
{
  const int s = GetParam();
  IGContextHeadless& ui = OpenAndDraw();
  const Picture back("QEQ_back" + Suffix() + ".png");
  const Picture level("smallknob" + Suffix() + ".png");

  // Gain at 0 dB shows cell 180; press it (the read-out appears) without moving.
  rig.Press(76.5f, 115.5f);
  EXPECT_TRUE(ui.Tick());
  // A pixel of the plate's top band, clear of the text: 180/255 black over the knob over the background.
  const int x = 55 * s, y = 105 * s;
  const int cell = 47 * s;
  const int i = x - 53 * s, j = y - 92 * s;
  const Pixel knobOverBack = Over(level.At(cell * (180 % 16) + i, cell * (180 / 16) + j), back.At(x, y));
  EXPECT_TRUE(Near(FramePixel(ui, x, y), Over(Pixel{0, 0, 0, 180}, knobOverBack), 2));
  // Outside the knob the plate is clipped away.
  EXPECT_TRUE(Near(FramePixel(ui, 45 * s, 105 * s), back.At(45 * s, 105 * s), 0));

  // Drag a little and keep the picture for a look.
  rig.Drag(76.5f, 90.f, 0.f, -25.5f);
  EXPECT_TRUE(ui.Tick());
  EXPECT_TRUE(ui.WriteFramePNG(OutputPath("editor-dragging-" + std::to_string(s) + "x.png").c_str()));
  rig.Release(76.5f, 90.f);

  // After the release the plate is gone: the knob over the background again.
  EXPECT_TRUE(ui.Tick());
  const double v = rig.Control(1).GetValue();
  const int after = static_cast<int>(270.0 * v + 0.5);
  const Pixel plain = Over(level.At(cell * (after % 16) + i, cell * (after / 16) + j), back.At(x, y));
  EXPECT_TRUE(Near(FramePixel(ui, x, y), plain, 2));
}

TEST_P(EditorRenderTest, HostValuesShowTheirFrames)
{
  const int s = GetParam();
  IGContextHeadless& ui = OpenAndDraw();
  // Every frequency knob at its last entry, Gain at +10 dB, oversampling on.
  const std::pair<int, double> values[] = {{0, 5.0}, {1, 3.0}, {3, 5.0}, {5, 6.0}, {8, 10.0}, {9, 1.0}};
  for (const auto& [param, value] : values)
  {
    rig.plugin->SetParameterFromMainThread(param, value);
    rig.plugin->SendParamValueToEditor(param, value, false);
  }
  EXPECT_TRUE(ui.Tick());
  EXPECT_TRUE(ui.WriteFramePNG(OutputPath("editor-host-values-" + std::to_string(s) + "x.png").c_str()));

  const Picture back("QEQ_back" + Suffix() + ".png");
  const Picture frequency("x271_frame_stack_fixed_again" + Suffix() + ".png");
  const Picture sw("QEQ_OS" + Suffix() + ".png");
  // The switch shows frame 2, the lower half of its picture.
  for (int j = 0; j < 29 * s; j += 3)
    for (int i = 0; i < 29 * s; i += 3)
      EXPECT_TRUE(Near(FramePixel(ui, 173 * s + i, 157 * s + j),
                       Over(sw.At(i, 29 * s + j), back.At(173 * s + i, 157 * s + j)), 2))
        << "switch pixel " << i << ", " << j;
  // The HPF knob shows the last cell: column 14 of row 16 (counted from 0).
  const int cell = s == 1 ? 64 : 118;
  const int dx = (158 + 32) * s - cell / 2;
  const int dy = (50 + 32) * s - cell / 2;
  for (int j = 1; j < cell - 1; j += 6)
    for (int i = 1; i < cell - 1; i += 6)
      EXPECT_TRUE(Near(FramePixel(ui, dx + i, dy + j),
                       Over(frequency.At(cell * 14 + i, cell * 16 + j), back.At(dx + i, dy + j)), 2))
        << "HPF pixel " << i << ", " << j;
}

INSTANTIATE_TEST_SUITE_P(DrawScales, EditorRenderTest, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "x"; });

TEST(EditorRenderBadgeTest, ResizeDragShowsTheBadge)
{
  ScopedConfigHome home;
  EditorRig rig;
  IGContextHeadless& ui = rig.Open();
  ui.Tick();
  rig.Press(650.f, 200.f);
  rig.Drag(650.f * 1.3f, 200.f * 1.3f, 1.f, 1.f);
  const float s = ui.GetDrawScale();
  ASSERT_FLOAT_EQ(s, 1.3f);
  EXPECT_TRUE(ui.Tick());
  EXPECT_TRUE(ui.WriteFramePNG((std::string(QUORL_RENDER_DIR) + "/editor-resizing.png").c_str()));

  // The badge: 58 x 20 pixels whose bottom-right is 8 pixels up and left of the triangle, at (W - 20/s + 1,
  // H - 20/s + 1) points. The panel there is dark, so its bright pixels are the badge's white border and text.
  const float triL = 664.f - 20.f / s + 1.f;
  const float triT = 215.f - 20.f / s + 1.f;
  const int bx = static_cast<int>(std::lround(triL * s)) - 8 - 58;
  const int by = static_cast<int>(std::lround(triT * s)) - 8 - 20;
  const Picture back("QEQ_back.png");
  for (int y = static_cast<int>(by / s); y <= static_cast<int>((by + 20) / s) + 1; ++y)
    for (int x = static_cast<int>(bx / s); x <= static_cast<int>((bx + 58) / s) + 1; ++x)
      ASSERT_LT(Brightness(back.At(x, y)), 120) << "the panel is not dark at " << x << ", " << y;
  int bright = 0;
  for (int y = by; y < by + 20; ++y)
    for (int x = bx; x < bx + 58; ++x)
      bright += Brightness(FramePixel(ui, x, y)) > 150 ? 1 : 0;
  EXPECT_GT(bright, 60);
  // Just outside it nothing is bright.
  for (int x = bx - 12; x < bx - 3; ++x)
    EXPECT_LT(Brightness(FramePixel(ui, x, by + 10)), 120) << x;

  // Released: snapped to 125 %, and the badge is gone.
  rig.Release(650.f, 200.f);
  ASSERT_FLOAT_EQ(ui.GetDrawScale(), 1.25f);
  EXPECT_TRUE(ui.Tick());
  int brightAfter = 0;
  const int ax = static_cast<int>(std::lround((664.f - 20.f / 1.25f + 1.f) * 1.25f)) - 66;
  const int ay = static_cast<int>(std::lround((215.f - 20.f / 1.25f + 1.f) * 1.25f)) - 28;
  for (int y = ay; y < ay + 20; ++y)
    for (int x = ax; x < ax + 58; ++x)
      brightAfter += Brightness(FramePixel(ui, x, y)) > 150 ? 1 : 0;
  EXPECT_EQ(brightAfter, 0);
}

} // namespace
