#include "graphics/IGContextCairo.h"

#include "graphics/GraphicsCaches.h"
#include "graphics/ResourceLocator.h"
#include "graphics/Typeface.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <span>
#include <string>

namespace ondrell::graphics {

namespace {

cairo_matrix_t ToCairo(const double m[6])
{
  cairo_matrix_t c;
  cairo_matrix_init(&c, m[0], m[1], m[2], m[3], m[4], m[5]);
  return c;
}

void FromCairo(const cairo_matrix_t& c, double m[6])
{
  m[0] = c.xx;
  m[1] = c.yx;
  m[2] = c.xy;
  m[3] = c.yy;
  m[4] = c.x0;
  m[5] = c.y0;
}

cairo_operator_t BlendOperator(const IBlend* blend)
{
  if (blend == nullptr)
    return CAIRO_OPERATOR_OVER;
  switch (blend->type)
  {
    case 0: return CAIRO_OPERATOR_OVER;
    case 1: return CAIRO_OPERATOR_IN;
    case 2: return CAIRO_OPERATOR_OUT;
    case 3: return CAIRO_OPERATOR_ATOP;
    case 4: return CAIRO_OPERATOR_DEST_OVER;
    case 5: return CAIRO_OPERATOR_DEST_IN;
    case 6: return CAIRO_OPERATOR_DEST_OUT;
    case 7: return CAIRO_OPERATOR_DEST_ATOP;
    case 8: return CAIRO_OPERATOR_ADD;
    case 9: return CAIRO_OPERATOR_XOR;
    default: return CAIRO_OPERATOR_CLEAR;
  }
}

// A colour's alpha times the blend weight, kept within 0..255, as Cairo's 0..1.
double WeightedAlpha(const IColor& color, const IBlend* blend)
{
  double a = color.A;
  if (blend)
    a = std::min(255.0, std::max(0.0, a * static_cast<double>(blend->weight)));
  return a / 255.0;
}

void SetSourceColor(cairo_t* cr, const IColor& color, double alpha)
{
  cairo_set_source_rgba(cr, color.R / 255.0, color.G / 255.0, color.B / 255.0, alpha);
}

// Cairo refuses malformed UTF-8 with an error that stays on the drawing context (and on a shared scaled font),
// stopping all further drawing; such text is repaired first, each bad byte becoming U+FFFD.

// The length of the well-formed UTF-8 sequence at p (n bytes available), or 0.
size_t Utf8SequenceLength(const unsigned char* p, size_t n)
{
  const unsigned char c = p[0];
  size_t len;
  uint32_t cp;
  if (c < 0x80)
    return 1;
  if ((c & 0xE0) == 0xC0)
  {
    len = 2;
    cp = c & 0x1Fu;
  }
  else if ((c & 0xF0) == 0xE0)
  {
    len = 3;
    cp = c & 0x0Fu;
  }
  else if ((c & 0xF8) == 0xF0)
  {
    len = 4;
    cp = c & 0x07u;
  }
  else
  {
    return 0;
  }
  if (len > n)
    return 0;
  for (size_t i = 1; i < len; ++i)
  {
    if ((p[i] & 0xC0) != 0x80)
      return 0;
    cp = (cp << 6) | (p[i] & 0x3Fu);
  }
  const uint32_t minimum = len == 2 ? 0x80u : len == 3 ? 0x800u : 0x10000u;
  if (cp < minimum || cp > 0x10FFFFu || (cp >= 0xD800u && cp <= 0xDFFFu))
    return 0;
  return len;
}

bool IsValidUtf8(const char* s)
{
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  size_t n = std::strlen(s);
  while (n > 0)
  {
    const size_t len = Utf8SequenceLength(p, n);
    if (len == 0)
      return false;
    p += len;
    n -= len;
  }
  return true;
}

std::string RepairUtf8(const char* s)
{
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  size_t n = std::strlen(s);
  while (n > 0)
  {
    const size_t len = Utf8SequenceLength(p, n);
    if (len == 0)
    {
      out += "\xEF\xBF\xBD";
      ++p;
      --n;
    }
    else
    {
      out.append(reinterpret_cast<const char*>(p), len);
      p += len;
      n -= len;
    }
  }
  return out;
}

// Reads PNG bytes from memory for Cairo's decoder.
struct PngReader
{
  std::span<const unsigned char> bytes;
  size_t pos = 0;
};

cairo_status_t ReadPngBytes(void* closure, unsigned char* data, unsigned int length)
{
  auto* reader = static_cast<PngReader*>(closure);
  if (reader->pos + length > reader->bytes.size())
    return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, reader->bytes.data() + reader->pos, length);
  reader->pos += length;
  return CAIRO_STATUS_SUCCESS;
}

// Three box blurs of an A8 image approximate a Gaussian of the given sigma (pixels).
void BlurA8(unsigned char* data, int w, int h, int stride, double sigma)
{
  const int r = static_cast<int>(std::lround((std::sqrt(4.0 * sigma * sigma + 1.0) - 1.0) * 0.5));
  if (r <= 0 || w <= 0 || h <= 0)
    return;
  const int size = 2 * r + 1;
  std::vector<unsigned char> line(static_cast<size_t>(std::max(w, h)));
  const auto pass = [&](unsigned char* start, int n, int step) {
    for (int i = 0; i < n; ++i)
      line[static_cast<size_t>(i)] = start[i * step];
    int sum = 0;
    for (int i = -r; i <= r; ++i)
      sum += (i >= 0 && i < n) ? line[static_cast<size_t>(i)] : 0;
    for (int i = 0; i < n; ++i)
    {
      start[i * step] = static_cast<unsigned char>((sum + size / 2) / size);
      const int out = i - r;
      const int in = i + r + 1;
      sum -= (out >= 0) ? line[static_cast<size_t>(out)] : 0;
      sum += (in < n) ? line[static_cast<size_t>(in)] : 0;
    }
  };
  for (int k = 0; k < 3; ++k)
  {
    for (int y = 0; y < h; ++y)
      pass(data + y * stride, w, 1);
    for (int x = 0; x < w; ++x)
      pass(data + x, h, stride);
  }
}

} // namespace

// --- Bitmap -----------------------------------------------------------------------------------------------

IGContextCairo::Bitmap::Bitmap(cairo_surface_t* surface, int width, int height, float scale, float drawScale,
                               bool isSurface)
  : APIBitmap(width, height, scale, drawScale), mSurface(surface), mIsSurface(isSurface)
{
}

IGContextCairo::Bitmap::~Bitmap()
{
  if (mContext)
    cairo_destroy(mContext);
  cairo_surface_destroy(mSurface);
}

cairo_t* IGContextCairo::Bitmap::GetContext()
{
  if (mContext == nullptr)
  {
    mContext = cairo_create(mSurface);
    cairo_save(mContext);
  }
  return mContext;
}

// --- Lifetime and the pixel buffer ------------------------------------------------------------------------

IGContextCairo::IGContextCairo(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
  : IGContext(dlg, w, h, fps, scale)
{
  mFontOptions = cairo_font_options_create();
  cairo_font_options_set_hint_style(mFontOptions, CAIRO_HINT_STYLE_SLIGHT);
  // Unhinted metrics keep glyph positions fractional (subpixel positioning) and advances linear in the size.
  cairo_font_options_set_hint_metrics(mFontOptions, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(mFontOptions, CAIRO_ANTIALIAS_GRAY);
}

IGContextCairo::~IGContextCairo()
{
  ReleaseMainSurface();
  cairo_font_options_destroy(mFontOptions);
}

void IGContextCairo::ReleaseMainSurface()
{
  if (mContext == mMainContext)
    mContext = nullptr;
  if (mMainContext)
    cairo_destroy(mMainContext);
  if (mSurface)
    cairo_surface_destroy(mSurface);
  mMainContext = nullptr;
  mSurface = nullptr;
}

void IGContextCairo::DrawResize()
{
  const int w = static_cast<int>(std::ceil(
    static_cast<float>(static_cast<int>(static_cast<float>(Width()) * mDrawScale)) * mScreenScale));
  const int h = static_cast<int>(std::ceil(
    static_cast<float>(static_cast<int>(static_cast<float>(Height()) * mDrawScale)) * mScreenScale));

  ReleaseMainSurface();
  mPixelWidth = std::max(0, w);
  mPixelHeight = std::max(0, h);

  const size_t bytes = static_cast<size_t>(mPixelWidth) * static_cast<size_t>(mPixelHeight) * 4 + kHeaderSize;
  mPixelBuffer.reserve((bytes + kBufferAllocationStep - 1) / kBufferAllocationStep * kBufferAllocationStep);
  mPixelBuffer.assign(bytes, 0);

  // BITMAPINFOHEADER, little-endian: size 40, width, minus the height (rows run top to bottom), one plane,
  // 32 bits per pixel, uncompressed; the rest zero.
  const auto put32 = [this](size_t at, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
      mPixelBuffer[at + static_cast<size_t>(i)] = static_cast<uint8_t>(u >> (8 * i));
  };
  put32(0, kHeaderSize);
  put32(4, mPixelWidth);
  put32(8, -mPixelHeight);
  mPixelBuffer[12] = 1;
  mPixelBuffer[14] = 32;

  // Cairo's ARGB32 is BGRA premultiplied in memory on this little-endian target.
  mSurface = cairo_image_surface_create_for_data(mPixelBuffer.data() + kHeaderSize, CAIRO_FORMAT_ARGB32,
                                                 mPixelWidth, mPixelHeight, mPixelWidth * 4);
  mMainContext = cairo_create(mSurface);
  cairo_save(mMainContext);
  UpdateLayer();
  PathTransformSetMatrix(GetTransform());
}

const uint8_t* IGContextCairo::GetPixels() const
{
  return mPixelBuffer.size() > static_cast<size_t>(kHeaderSize) ? mPixelBuffer.data() + kHeaderSize : nullptr;
}

bool IGContextCairo::WritePNG(const char* path)
{
  if (mSurface == nullptr || path == nullptr)
    return false;
  cairo_surface_flush(mSurface);
  return cairo_surface_write_to_png(mSurface, path) == CAIRO_STATUS_SUCCESS;
}

void IGContextCairo::BeginFrame()
{
  // An error left on the context by a bad drawing call would stop all drawing; start each frame clean.
  if (mMainContext && cairo_status(mMainContext) != CAIRO_STATUS_SUCCESS)
  {
    const bool current = mContext == mMainContext;
    cairo_destroy(mMainContext);
    mMainContext = cairo_create(mSurface);
    cairo_save(mMainContext);
    if (current)
      mContext = mMainContext;
    PathTransformSetMatrix(GetTransform());
  }
  IGContext::BeginFrame();
}

void IGContextCairo::EndFrame()
{
  if (mSurface)
    cairo_surface_flush(mSurface);
  IGContext::EndFrame();
}

cairo_surface_t* IGContextCairo::CurrentSurface() const
{
  return mContext ? cairo_get_target(mContext) : nullptr;
}

void IGContextCairo::UpdateLayer()
{
  const auto& layers = Layers();
  if (layers.empty())
  {
    mContext = mMainContext;
    return;
  }
  auto* bitmap = dynamic_cast<Bitmap*>(layers.back()->GetAPIBitmap());
  mContext = bitmap ? bitmap->GetContext() : nullptr;
}

// --- Transform and clip -----------------------------------------------------------------------------------

void IGContextCairo::PathTransformSetMatrix(const IMatrix& m)
{
  const double s = GetBackingPixelScale();
  double offsetX = 0.0;
  double offsetY = 0.0;
  if (!Layers().empty())
  {
    offsetX = Layers().back()->Bounds().L;
    offsetY = Layers().back()->Bounds().T;
  }
  // Global: points to device pixels, shifted so the open layer's top-left is the target's origin.
  cairo_matrix_t global;
  cairo_matrix_init_scale(&global, s, s);
  cairo_matrix_translate(&global, -offsetX, -offsetY);
  cairo_matrix_t user;
  cairo_matrix_init(&user, m.xx, m.yx, m.xy, m.yy, m.tx, m.ty);
  cairo_matrix_t final;
  cairo_matrix_multiply(&final, &user, &global);
  FromCairo(global, mClipMatrix);
  FromCairo(final, mFinalMatrix);

  cairo_matrix_t check = final;
  mTransformValid = cairo_matrix_invert(&check) == CAIRO_STATUS_SUCCESS;
  if (mContext && mTransformValid)
    cairo_set_matrix(mContext, &final);
}

void IGContextCairo::SetClipRegion(const IRect& r)
{
  if (mContext == nullptr)
    return;
  cairo_path_t* path = cairo_has_current_point(mContext) ? cairo_copy_path(mContext) : nullptr;

  cairo_restore(mContext);
  cairo_save(mContext);
  const cairo_matrix_t clip = ToCairo(mClipMatrix);
  cairo_set_matrix(mContext, &clip);
  cairo_new_path(mContext);
  cairo_rectangle(mContext, r.L, r.T, r.W(), r.H());
  cairo_set_antialias(mContext, CAIRO_ANTIALIAS_NONE);
  cairo_clip(mContext);
  cairo_set_antialias(mContext, CAIRO_ANTIALIAS_DEFAULT);
  if (mTransformValid)
  {
    const cairo_matrix_t final = ToCairo(mFinalMatrix);
    cairo_set_matrix(mContext, &final);
  }

  if (path)
  {
    cairo_append_path(mContext, path);
    cairo_path_destroy(path);
  }
}

// --- Paths ------------------------------------------------------------------------------------------------

void IGContextCairo::PathClear()
{
  if (mContext)
    cairo_new_path(mContext);
}

void IGContextCairo::PathClose()
{
  if (mContext)
    cairo_close_path(mContext);
}

void IGContextCairo::PathArc(float cx, float cy, float r, float a1, float a2, bool winding)
{
  if (mContext == nullptr || !mTransformValid)
    return;
  double sweep = static_cast<double>(a2) - static_cast<double>(a1);
  if (!std::isfinite(sweep) || !std::isfinite(r))
    return;
  constexpr double toRad = std::numbers::pi / 180.0;
  if (std::fabs(sweep) >= 360.0)
  {
    cairo_new_sub_path(mContext);
    cairo_arc(mContext, cx, cy, r, 0.0, 2.0 * std::numbers::pi);
    cairo_close_path(mContext);
    return;
  }
  if (winding)
  {
    while (sweep >= 0.0)
      sweep -= 360.0;
  }
  else
  {
    while (sweep <= 0.0)
      sweep += 360.0;
  }
  // Angles count clockwise from the top; Cairo's count clockwise (y down) from the right.
  const double start = (static_cast<double>(a1) - 90.0) * toRad;
  const double end = start + sweep * toRad;
  if (sweep > 0.0)
    cairo_arc(mContext, cx, cy, r, start, end);
  else
    cairo_arc_negative(mContext, cx, cy, r, start, end);
}

void IGContextCairo::PathMoveTo(float x, float y)
{
  if (mContext && mTransformValid)
    cairo_move_to(mContext, x, y);
}

void IGContextCairo::PathLineTo(float x, float y)
{
  if (mContext && mTransformValid)
    cairo_line_to(mContext, x, y);
}

void IGContextCairo::PathCubicTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2)
{
  if (mContext && mTransformValid)
    cairo_curve_to(mContext, c1x, c1y, c2x, c2y, x2, y2);
}

void IGContextCairo::PathQuadraticTo(float cx, float cy, float x2, float y2)
{
  if (mContext == nullptr || !mTransformValid)
    return;
  double x0 = cx, y0 = cy;
  if (cairo_has_current_point(mContext))
    cairo_get_current_point(mContext, &x0, &y0);
  // The cubic with the same curve: control points two thirds of the way to the quadratic one.
  const double c1x = x0 + 2.0 / 3.0 * (cx - x0);
  const double c1y = y0 + 2.0 / 3.0 * (cy - y0);
  const double c2x = x2 + 2.0 / 3.0 * (cx - x2);
  const double c2y = y2 + 2.0 / 3.0 * (cy - y2);
  cairo_curve_to(mContext, c1x, c1y, c2x, c2y, x2, y2);
}

void IGContextCairo::ApplyPattern(const IPattern& pattern, const IBlend* blend)
{
  cairo_set_operator(mContext, BlendOperator(blend));
  cairo_set_antialias(mContext, CAIRO_ANTIALIAS_DEFAULT);

  if (pattern.type == EPatternType::Solid || pattern.stops.size() < 2)
  {
    const IColor color = pattern.stops.empty() ? COLOR_TRANSPARENT : pattern.stops.front().color;
    SetSourceColor(mContext, color, WeightedAlpha(color, blend));
    return;
  }

  // Gradients are defined in pattern space; map its reference points back into user space.
  IMatrix inverse = pattern.transform;
  if (!inverse.Invert())
  {
    SetSourceColor(mContext, pattern.stops.front().color, WeightedAlpha(pattern.stops.front().color, blend));
    return;
  }
  double ox = 0.0, oy = 0.0, ux = 1.0, uy = 0.0;
  inverse.TransformPoint(ox, oy);
  inverse.TransformPoint(ux, uy);

  cairo_pattern_t* source = nullptr;
  if (pattern.type == EPatternType::Linear)
  {
    source = cairo_pattern_create_linear(ox, oy, ux, uy);
  }
  else if (pattern.type == EPatternType::Radial)
  {
    source = cairo_pattern_create_radial(ox, oy, 0.0, ox, oy, std::hypot(ux - ox, uy - oy));
  }
  else
  {
    // Cairo has no sweep gradient: a fan of mesh patches around the centre, reaching past the clip, with the
    // colour interpolated by angle.
    double x1, y1, x2, y2;
    cairo_clip_extents(mContext, &x1, &y1, &x2, &y2);
    double reach = 1.0;
    for (const double px : {x1, x2})
      for (const double py : {y1, y2})
        reach = std::max(reach, std::hypot(px - ox, py - oy));
    const double scale = std::hypot(ux - ox, uy - oy);
    reach = reach / std::max(scale, 1e-9) * 1.5;
    const auto colorAt = [&pattern](double t, double& r, double& g, double& b, double& a) {
      const auto& stops = pattern.stops;
      size_t i = 0;
      while (i + 1 < stops.size() && stops[i + 1].offset < t)
        ++i;
      const IColorStop& s0 = stops[i];
      const IColorStop& s1 = stops[std::min(i + 1, stops.size() - 1)];
      const double span = s1.offset - s0.offset;
      const double f = span > 0.0 ? std::clamp((t - s0.offset) / span, 0.0, 1.0) : 0.0;
      r = (s0.color.R + (s1.color.R - s0.color.R) * f) / 255.0;
      g = (s0.color.G + (s1.color.G - s0.color.G) * f) / 255.0;
      b = (s0.color.B + (s1.color.B - s0.color.B) * f) / 255.0;
      a = (s0.color.A + (s1.color.A - s0.color.A) * f) / 255.0;
    };
    source = cairo_pattern_create_mesh();
    constexpr int kWedges = 64;
    for (int k = 0; k < kWedges; ++k)
    {
      const double t0 = static_cast<double>(k) / kWedges;
      const double t1 = static_cast<double>(k + 1) / kWedges;
      double p0x = reach * std::cos(t0 * 2.0 * std::numbers::pi), p0y = reach * std::sin(t0 * 2.0 * std::numbers::pi);
      double p1x = reach * std::cos(t1 * 2.0 * std::numbers::pi), p1y = reach * std::sin(t1 * 2.0 * std::numbers::pi);
      double cx = 0.0, cy = 0.0;
      inverse.TransformPoint(cx, cy);
      inverse.TransformPoint(p0x, p0y);
      inverse.TransformPoint(p1x, p1y);
      double r0, g0, b0, a0, r1, g1, b1, a1;
      colorAt(t0, r0, g0, b0, a0);
      colorAt(t1, r1, g1, b1, a1);
      const double w = blend ? std::clamp(static_cast<double>(blend->weight), 0.0, 1.0) : 1.0;
      cairo_mesh_pattern_begin_patch(source);
      cairo_mesh_pattern_move_to(source, cx, cy);
      cairo_mesh_pattern_line_to(source, p0x, p0y);
      cairo_mesh_pattern_line_to(source, p1x, p1y);
      cairo_mesh_pattern_line_to(source, cx, cy);
      cairo_mesh_pattern_set_corner_color_rgba(source, 0, r0, g0, b0, a0 * w);
      cairo_mesh_pattern_set_corner_color_rgba(source, 1, r0, g0, b0, a0 * w);
      cairo_mesh_pattern_set_corner_color_rgba(source, 2, r1, g1, b1, a1 * w);
      cairo_mesh_pattern_set_corner_color_rgba(source, 3, r1, g1, b1, a1 * w);
      cairo_mesh_pattern_end_patch(source);
    }
    cairo_set_source(mContext, source);
    cairo_pattern_destroy(source);
    return;
  }

  for (const IColorStop& stop : pattern.stops)
  {
    cairo_pattern_add_color_stop_rgba(source, std::clamp(static_cast<double>(stop.offset), 0.0, 1.0),
                                      stop.color.R / 255.0, stop.color.G / 255.0, stop.color.B / 255.0,
                                      WeightedAlpha(stop.color, blend));
  }
  cairo_pattern_set_extend(source, CAIRO_EXTEND_PAD);
  cairo_set_source(mContext, source);
  cairo_pattern_destroy(source);
}

void IGContextCairo::PathStroke(const IPattern& pattern, float thickness, const IStrokeOptions& options,
                                const IBlend* blend)
{
  if (mContext == nullptr)
    return;
  if (!mTransformValid || !(thickness >= 0.f) || !std::isfinite(thickness))
  {
    if (!options.preserve)
      cairo_new_path(mContext);
    return;
  }

  ApplyPattern(pattern, blend);
  cairo_set_line_width(mContext, thickness);
  cairo_set_miter_limit(mContext, std::max(1.0, static_cast<double>(options.miterLimit)));
  cairo_set_line_cap(mContext, options.cap == ELineCap::Round    ? CAIRO_LINE_CAP_ROUND
                               : options.cap == ELineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                                 : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(mContext, options.join == ELineJoin::Round    ? CAIRO_LINE_JOIN_ROUND
                                : options.join == ELineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                                   : CAIRO_LINE_JOIN_MITER);

  // Dashes must be non-negative and not all zero, or Cairo stops drawing with an error.
  std::vector<double> dashes(options.dashes.begin(), options.dashes.end());
  bool dashesValid = !dashes.empty();
  double total = 0.0;
  for (const double d : dashes)
  {
    dashesValid = dashesValid && d >= 0.0 && std::isfinite(d);
    total += d;
  }
  if (dashesValid && total > 0.0)
  {
    if (dashes.size() % 2 == 1)
      dashes.insert(dashes.end(), dashes.begin(), dashes.end());
    cairo_set_dash(mContext, dashes.data(), static_cast<int>(dashes.size()), options.dashOffset);
  }
  else
  {
    cairo_set_dash(mContext, nullptr, 0, 0.0);
  }

  if (options.preserve)
    cairo_stroke_preserve(mContext);
  else
    cairo_stroke(mContext);
}

void IGContextCairo::PathFill(const IPattern& pattern, const IFillOptions& options, const IBlend* blend)
{
  if (mContext == nullptr)
    return;
  if (!mTransformValid)
  {
    if (!options.preserve)
      cairo_new_path(mContext);
    return;
  }
  ApplyPattern(pattern, blend);
  cairo_set_fill_rule(mContext,
                      options.rule == EFillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  if (options.preserve)
    cairo_fill_preserve(mContext);
  else
    cairo_fill(mContext);
}

// --- Bitmaps ----------------------------------------------------------------------------------------------

void IGContextCairo::DrawBitmap(const IBitmap& bitmap, const IRect& dest, int srcX, int srcY, const IBlend* blend)
{
  auto* picture = dynamic_cast<Bitmap*>(bitmap.GetAPIBitmap());
  if (picture == nullptr || mContext == nullptr || !mTransformValid)
    return;

  const double alpha =
    blend ? std::min(255, std::max(0, static_cast<int>(blend->weight * 255.f))) / 255.0 : 1.0;
  const double c = static_cast<double>(picture->GetScale()) * static_cast<double>(picture->GetDrawScale());
  const auto inv = static_cast<float>(1.0 / c);

  cairo_save(mContext);
  cairo_new_path(mContext);
  cairo_rectangle(mContext, dest.L, dest.T, dest.W(), dest.H());
  cairo_set_antialias(mContext, CAIRO_ANTIALIAS_NONE);
  cairo_clip(mContext);
  cairo_translate(mContext, dest.L, dest.T);
  cairo_scale(mContext, inv, inv);
  cairo_translate(mContext, -srcX * c, -srcY * c);
  cairo_set_source_surface(mContext, picture->GetSurface(), 0.0, 0.0);
  cairo_pattern_set_filter(cairo_get_source(mContext), CAIRO_FILTER_BILINEAR);
  cairo_set_operator(mContext, BlendOperator(blend));
  if (alpha >= 1.0)
    cairo_paint(mContext);
  else
    cairo_paint_with_alpha(mContext, alpha);
  cairo_restore(mContext);
}

bool IGContextCairo::BitmapExtSupported(const char* ext)
{
  if (ext == nullptr)
    return false;
  std::string lower(ext);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return lower.find("png") != std::string::npos;
}

std::unique_ptr<APIBitmap> IGContextCairo::LoadAPIBitmap(const char* fileNameOrResID, int scale,
                                                         ResourceLocation location, const char* ext)
{
  if (fileNameOrResID == nullptr)
    return nullptr;
  if (location == ResourceLocation::WinResource)
  {
    size_t size = 0;
    const unsigned char* bytes = ReadEmbeddedResource(fileNameOrResID, ext ? ext : "png", size);
    if (bytes == nullptr || size > static_cast<size_t>(INT32_MAX))
      return nullptr;
    return LoadAPIBitmap(fileNameOrResID, bytes, static_cast<int>(size), scale);
  }
  if (location != ResourceLocation::FilePath)
    return nullptr;

  cairo_surface_t* surface = cairo_image_surface_create_from_png(fileNameOrResID);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || cairo_image_surface_get_width(surface) <= 0 ||
      cairo_image_surface_get_height(surface) <= 0)
  {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return std::make_unique<Bitmap>(surface, cairo_image_surface_get_width(surface),
                                  cairo_image_surface_get_height(surface), static_cast<float>(scale), 1.f, false);
}

std::unique_ptr<APIBitmap> IGContextCairo::LoadAPIBitmap(const char*, const void* data, int dataSize, int scale)
{
  if (data == nullptr || dataSize <= 0)
    return nullptr;
  PngReader reader{{static_cast<const unsigned char*>(data), static_cast<size_t>(dataSize)}, 0};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadPngBytes, &reader);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || cairo_image_surface_get_width(surface) <= 0 ||
      cairo_image_surface_get_height(surface) <= 0)
  {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return std::make_unique<Bitmap>(surface, cairo_image_surface_get_width(surface),
                                  cairo_image_surface_get_height(surface), static_cast<float>(scale), 1.f, false);
}

std::unique_ptr<APIBitmap> IGContextCairo::CreateAPIBitmap(int width, int height, float scale, float drawScale,
                                                           bool)
{
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, width), std::max(1, height));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
  {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return std::make_unique<Bitmap>(surface, std::max(1, width), std::max(1, height), scale, drawScale, true);
}

void IGContextCairo::GetLayerBitmapData(const ILayerPtr& layer, std::vector<uint8_t>& data)
{
  data.clear();
  auto* bitmap = layer ? dynamic_cast<Bitmap*>(layer->GetAPIBitmap()) : nullptr;
  if (bitmap == nullptr)
    return;
  cairo_surface_t* surface = bitmap->GetSurface();
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface);
  const int h = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const size_t rowBytes = static_cast<size_t>((w + 7) / 8 * 8) * 4;
  data.assign(rowBytes * static_cast<size_t>(h), 0);
  const unsigned char* src = cairo_image_surface_get_data(surface);
  for (int y = 0; y < h; ++y)
    std::memcpy(data.data() + rowBytes * static_cast<size_t>(y), src + static_cast<size_t>(y) * stride,
                static_cast<size_t>(w) * 4);
}

// --- Pixels and shadows -----------------------------------------------------------------------------------

IColor IGContextCairo::GetPoint(int x, int y)
{
  cairo_surface_t* surface = CurrentSurface();
  if (surface == nullptr || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE)
    return COLOR_TRANSPARENT;
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface);
  const int h = cairo_image_surface_get_height(surface);
  if (x < 0 || y < 0 || x >= w || y >= h)
    return COLOR_TRANSPARENT;
  const unsigned char* p =
    cairo_image_surface_get_data(surface) + static_cast<size_t>(y) * cairo_image_surface_get_stride(surface) +
    static_cast<size_t>(x) * 4;
  const int a = p[3];
  if (a == 0)
    return COLOR_TRANSPARENT;
  const auto unpremultiply = [a](int c) { return std::min(255, (c * 255 + a / 2) / a); };
  return IColor(a, unpremultiply(p[2]), unpremultiply(p[1]), unpremultiply(p[0]));
}

void IGContextCairo::DrawFastDropShadow(const IRect& innerBounds, const IRect&, float xyDrop, float roundness,
                                        float blur, const IBlend* blend)
{
  if (mContext == nullptr || !mTransformValid)
    return;
  const IRect shadow = innerBounds.GetTranslated(xyDrop, xyDrop);

  // The shadow's extent in device pixels, grown by three sigmas for the blur.
  const cairo_matrix_t final = ToCairo(mFinalMatrix);
  const double deviceScale = std::sqrt(std::fabs(final.xx * final.yy - final.xy * final.yx));
  const double sigma = std::max(0.0, static_cast<double>(blur) * 0.5 * deviceScale);
  double x1 = shadow.L, y1 = shadow.T, x2 = shadow.R, y2 = shadow.B;
  cairo_save(mContext);
  cairo_set_matrix(mContext, &final);
  cairo_new_path(mContext);
  cairo_rectangle(mContext, x1, y1, x2 - x1, y2 - y1);
  cairo_identity_matrix(mContext);
  cairo_path_extents(mContext, &x1, &y1, &x2, &y2);
  cairo_new_path(mContext);
  const int margin = static_cast<int>(std::ceil(3.0 * sigma)) + 1;
  const int ox = static_cast<int>(std::floor(x1)) - margin;
  const int oy = static_cast<int>(std::floor(y1)) - margin;
  const int w = static_cast<int>(std::ceil(x2)) + margin - ox;
  const int h = static_cast<int>(std::ceil(y2)) + margin - oy;
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384)
  {
    cairo_restore(mContext);
    return;
  }

  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_t* mc = cairo_create(mask);
  cairo_matrix_t shifted = final;
  shifted.x0 -= ox;
  shifted.y0 -= oy;
  cairo_set_matrix(mc, &shifted);
  cairo_set_source_rgba(mc, 0, 0, 0, 1);
  const float rr = std::max(0.f, std::min(roundness, 0.5f * std::min(shadow.W(), shadow.H())));
  if (rr > 0.f)
  {
    constexpr double half = std::numbers::pi / 2.0;
    cairo_new_sub_path(mc);
    cairo_arc(mc, shadow.R - rr, shadow.T + rr, rr, -half, 0);
    cairo_arc(mc, shadow.R - rr, shadow.B - rr, rr, 0, half);
    cairo_arc(mc, shadow.L + rr, shadow.B - rr, rr, half, 2 * half);
    cairo_arc(mc, shadow.L + rr, shadow.T + rr, rr, 2 * half, 3 * half);
    cairo_close_path(mc);
  }
  else
  {
    cairo_rectangle(mc, shadow.L, shadow.T, shadow.W(), shadow.H());
  }
  cairo_fill(mc);
  cairo_destroy(mc);
  cairo_surface_flush(mask);
  BlurA8(cairo_image_surface_get_data(mask), w, h, cairo_image_surface_get_stride(mask), sigma);
  cairo_surface_mark_dirty(mask);

  cairo_set_operator(mContext, BlendOperator(blend));
  SetSourceColor(mContext, COLOR_BLACK, WeightedAlpha(IColor(128, 0, 0, 0), blend));
  cairo_mask_surface(mContext, mask, ox, oy);
  cairo_surface_destroy(mask);
  cairo_restore(mContext);
}

// --- Text -------------------------------------------------------------------------------------------------

struct IGContextCairo::TextLayout
{
  cairo_font_face_t* face = nullptr;
  double fontSize = 0.0;
  float x = 0.f;
  float y = 0.f;
};

bool IGContextCairo::PrepareText(const IText& text, const char* str, IRect& r, TextLayout& layout) const
{
  const Typeface* typeface = TypefaceCache().Find(text.font, 1.0);
  if (typeface == nullptr || typeface->GetCairoFace() == nullptr)
    return false;
  const PlatformFontData& data = typeface->GetFontData();
  const FontFaceInfo& info = typeface->GetFaceInfo();
  if (data.bytes.empty() || data.faceIndex < 0 || !info.IsValid())
    return false;
  const double extent = static_cast<double>(info.ascender) - static_cast<double>(info.descender);
  if (extent <= 0.0 || info.unitsPerEm == 0)
    return false;

  // The style's size is the height from ascender to descender; the font's em is scaled to match.
  const double fontSize = static_cast<double>(text.size) * info.unitsPerEm / extent;
  cairo_matrix_t fontMatrix;
  cairo_matrix_t identity;
  cairo_matrix_init_scale(&fontMatrix, fontSize, fontSize);
  cairo_matrix_init_identity(&identity);
  cairo_scaled_font_t* font = cairo_scaled_font_create(typeface->GetCairoFace(), &fontMatrix, &identity, mFontOptions);
  if (cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS)
  {
    cairo_scaled_font_destroy(font);
    return false;
  }
  cairo_text_extents_t extents;
  cairo_scaled_font_text_extents(font, str, &extents);
  cairo_scaled_font_destroy(font);
  const auto w = static_cast<float>(extents.x_advance);

  // The font's own vertical metrics: ascent above the baseline (negative), descent below it.
  const auto ascent = static_cast<float>(-info.ascender * fontSize / info.unitsPerEm);
  const auto descent = static_cast<float>(-info.descender * fontSize / info.unitsPerEm);

  float x;
  switch (text.align)
  {
    case EAlign::Near: x = r.L; break;
    case EAlign::Center: x = (r.L + r.R) / 2.f - w / 2.f; break;
    default: x = r.R - w; break;
  }
  float y;
  switch (text.vAlign)
  {
    case EVAlign::Top: y = r.T - ascent; break;
    case EVAlign::Middle: y = (r.T + r.B) / 2.f - descent + text.size / 2.f; break;
    default: y = r.B - descent; break;
  }

  r = IRect(x, y + ascent, x + w, y + ascent + text.size);
  layout.face = typeface->GetCairoFace();
  layout.fontSize = fontSize;
  layout.x = x;
  layout.y = y;
  return true;
}

float IGContextCairo::DoMeasureText(const IText& text, const char* str, IRect& bounds) const
{
  const std::string repaired = (str && !IsValidUtf8(str)) ? RepairUtf8(str) : std::string();
  const char* s = str == nullptr ? "" : (repaired.empty() ? str : repaired.c_str());
  const auto lock = TypefaceCache().Acquire();
  TextLayout layout;
  if (!PrepareText(text, s, bounds, layout))
  {
    bounds = IRect();
    return 0.f;
  }
  return bounds.W();
}

void IGContextCairo::DoDrawText(const IText& text, const char* str, const IRect& bounds, const IBlend* blend)
{
  if (mContext == nullptr || !mTransformValid)
    return;
  const std::string repaired = IsValidUtf8(str) ? std::string() : RepairUtf8(str);
  const char* s = repaired.empty() ? str : repaired.c_str();

  const auto lock = TypefaceCache().Acquire();
  IRect r = bounds;
  TextLayout layout;
  if (!PrepareText(text, s, r, layout))
    return;

  const bool rotated = text.angle != 0.f;
  if (rotated)
  {
    float cx = 0.f, cy = 0.f;
    TextRotationCentre(r, cx, cy);
    PathTransformSave();
    PathTransformTranslate(cx, cy);
    PathTransformRotate(text.angle);
    PathTransformTranslate(-cx, -cy);
  }
  if (mTransformValid)
  {
    cairo_set_operator(mContext, CAIRO_OPERATOR_OVER);
    SetSourceColor(mContext, text.fgColor, WeightedAlpha(text.fgColor, blend));
    cairo_set_font_face(mContext, layout.face);
    cairo_set_font_size(mContext, layout.fontSize);
    cairo_set_font_options(mContext, mFontOptions);
    cairo_new_path(mContext);
    cairo_move_to(mContext, layout.x, layout.y);
    cairo_show_text(mContext, s);
    cairo_new_path(mContext);
    // Cairo keeps a reference to the face; release it so the typeface cache alone decides its life.
    cairo_set_font_face(mContext, nullptr);
  }
  if (rotated)
    PathTransformRestore();
}

void IGContextCairo::DrawMultiLineText(const IText& text, const char* str, const IRect& bounds, const IBlend* blend)
{
  DrawText(text, str, bounds, blend);
}

} // namespace ondrell::graphics
