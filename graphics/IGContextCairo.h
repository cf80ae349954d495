#pragma once

// The drawing backend: Cairo on the CPU, drawing straight into a BGRA premultiplied pixel buffer that the
// context owns. The buffer carries a 40-byte Windows bitmap header in front of the pixels, so a window host can
// hand it to the system as it is. Pictures are PNGs decoded once to Cairo image surfaces; text is drawn with the
// FreeType typefaces of the shared typeface cache, laid out with the font's own metrics.

#include "graphics/IGContext.h"

#include <cstdint>
#include <vector>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_font_options cairo_font_options_t;

namespace ondrell::graphics {

// Threads: the editor's window thread only; text drawing holds the typeface cache's lock while it uses a
// typeface. Owns the pixel buffer, the main surface and its drawing context.
class IGContextCairo : public IGContext
{
public:
  static constexpr int kHeaderSize = 40;
  static constexpr size_t kBufferAllocationStep = 4096;

  // A picture: a decoded PNG or a layer's target, both Cairo image surfaces (owned). A layer also keeps the
  // drawing context that draws into it.
  class Bitmap : public APIBitmap
  {
  public:
    Bitmap(cairo_surface_t* surface, int width, int height, float scale, float drawScale, bool isSurface);
    ~Bitmap() override;

    cairo_surface_t* GetSurface() const { return mSurface; }
    bool IsSurface() const { return mIsSurface; }
    // The layer's drawing context, made on first use.
    cairo_t* GetContext();

  private:
    cairo_surface_t* mSurface;
    cairo_t* mContext = nullptr;
    bool mIsSurface;
  };

  IGContextCairo(IGEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  ~IGContextCairo() override;

  void BeginFrame() override;
  void EndFrame() override;
  void OnViewInitialized() override { DrawResize(); }
  void OnViewDestroyed() override { RemoveAllControls(); }
  void DrawResize() override;

  using IGContext::DrawBitmap;
  void DrawBitmap(const IBitmap& bitmap, const IRect& dest, int srcX, int srcY,
                  const IBlend* blend = nullptr) override;
  void DrawMultiLineText(const IText& text, const char* str, const IRect& bounds,
                         const IBlend* blend = nullptr) override;

  void PathClear() override;
  void PathClose() override;
  void PathArc(float cx, float cy, float r, float a1, float a2, bool winding = false) override;
  void PathMoveTo(float x, float y) override;
  void PathLineTo(float x, float y) override;
  void PathCubicTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) override;
  void PathQuadraticTo(float cx, float cy, float x2, float y2) override;
  void PathStroke(const IPattern& pattern, float thickness, const IStrokeOptions& options = {},
                  const IBlend* blend = nullptr) override;
  void PathFill(const IPattern& pattern, const IFillOptions& options = {}, const IBlend* blend = nullptr) override;

  void DrawFastDropShadow(const IRect& innerBounds, const IRect& outerBounds, float xyDrop = 5.f,
                          float roundness = 0.f, float blur = 10.f, const IBlend* blend = nullptr) override;
  IColor GetPoint(int x, int y) override;
  const char* GetDrawingAPIStr() override { return "CAIRO | CPU"; }
  // The current cairo_t.
  void* GetDrawContext() override { return mContext; }
  // Row bytes are the width rounded up to a multiple of 8, times 4.
  void GetLayerBitmapData(const ILayerPtr& layer, std::vector<uint8_t>& data) override;

  // Only PNG: Cairo decodes PNG, and no other picture decoder is part of the build.
  bool BitmapExtSupported(const char* ext) override;
  std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* fileNameOrResID, int scale, ResourceLocation location,
                                           const char* ext) override;
  std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* name, const void* data, int dataSize, int scale) override;
  std::unique_ptr<APIBitmap> CreateAPIBitmap(int width, int height, float scale, float drawScale,
                                             bool cacheable = false) override;

  // The header followed by the pixels, rows top to bottom.
  const std::vector<uint8_t>& GetPixelBuffer() const { return mPixelBuffer; }
  const uint8_t* GetPixels() const;
  int GetPixelWidth() const { return mPixelWidth; }
  int GetPixelHeight() const { return mPixelHeight; }
  // Writes the main surface (un-premultiplied) as a PNG file; false when there is none or writing fails.
  bool WritePNG(const char* path);

  float DoMeasureText(const IText& text, const char* str, IRect& bounds) const override;
  void DoDrawText(const IText& text, const char* str, const IRect& bounds, const IBlend* blend) override;

protected:
  void PathTransformSetMatrix(const IMatrix& m) override;
  void SetClipRegion(const IRect& r) override;
  void UpdateLayer() override;

private:
  struct TextLayout;
  bool PrepareText(const IText& text, const char* str, IRect& r, TextLayout& layout) const;
  void ApplyPattern(const IPattern& pattern, const IBlend* blend);
  void ReleaseMainSurface();
  cairo_surface_t* CurrentSurface() const;

  std::vector<uint8_t> mPixelBuffer;
  int mPixelWidth = 0;
  int mPixelHeight = 0;
  cairo_surface_t* mSurface = nullptr;
  cairo_t* mMainContext = nullptr;
  // The main context or the top layer's.
  cairo_t* mContext = nullptr;
  cairo_font_options_t* mFontOptions = nullptr;
  // Cairo rejects a transform that cannot be inverted; while one is set, drawing is skipped.
  bool mTransformValid = true;
  double mClipMatrix[6] = {1, 0, 0, 1, 0, 0};
  double mFinalMatrix[6] = {1, 0, 0, 1, 0, 0};
};

} // namespace ondrell::graphics
