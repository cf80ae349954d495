#include "graphics/IGContext.h"

#include "core/IParam.h"
#include "core/Trace.h"
#include "graphics/IControl.h"
#include "graphics/IGEditorDelegate.h"
#include "graphics/Typeface.h"

#include <algorithm>
#include <cmath>

namespace ondrell::graphics {

namespace {

float ClampScale(float scale)
{
  // A NaN falls to the minimum: max(minimum, NaN) keeps the minimum.
  return std::min(kMaxScale, std::max(kMinScale, scale));
}

} // namespace

IGContext::IGContext(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
  : mDrawScale(ClampScale(scale)), mDelegate(dlg), mWidth(w), mHeight(h), mFPS(fps)
{
}

IGContext::~IGContext()
{
  // The platform class has already closed its window and removed the controls; whatever is left is deleted
  // here without calling back into the (already destroyed) derived parts.
  mCapturedMap.clear();
  mMouseOver = nullptr;
  mCtrlTags.clear();
  mControls.clear();
}

// --- Controls ---------------------------------------------------------------------------------------------

IControl* IGContext::AttachControl(std::unique_ptr<IControl>&& control, int ctrlTag, const char* group)
{
  if (!control)
    return nullptr;
  if (ctrlTag >= 0 && mCtrlTags.count(ctrlTag) != 0)
    return nullptr;

  IControl* c = control.get();
  if (ctrlTag >= 0)
    mCtrlTags[ctrlTag] = c;
  c->SetDelegate(mDelegate);
  c->SetGraphics(this);
  c->OnInit();
  c->OnResize();
  c->OnRescale();
  c->SetGroup(group);
  mControls.push_back(std::move(control));
  c->OnAttached();
  return c;
}

IControl* IGContext::GetControl(int idx) const
{
  if (idx < 0 || idx >= NControls())
    return nullptr;
  return mControls[static_cast<size_t>(idx)].get();
}

IControl* IGContext::GetControlWithTag(int ctrlTag) const
{
  const auto it = mCtrlTags.find(ctrlTag);
  return it == mCtrlTags.end() ? nullptr : it->second;
}

int IGContext::GetControlIdx(const IControl* control) const
{
  for (int i = 0; i < NControls(); ++i)
  {
    if (mControls[static_cast<size_t>(i)].get() == control)
      return i;
  }
  return -1;
}

void IGContext::ForAllControls(const std::function<void(IControl&)>& fn)
{
  for (const auto& c : mControls)
    fn(*c);
}

void IGContext::SetAllControlsDirty()
{
  for (const auto& c : mControls)
    c->SetDirty(false);
}

void IGContext::SetAllControlsClean()
{
  for (const auto& c : mControls)
    c->SetClean();
}

void IGContext::RemoveAllControls()
{
  ReleaseMouseCapture();
  ShowHiddenCursor();
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
  mInTextEntry = nullptr;
  mInPopupMenu = nullptr;
  mCtrlTags.clear();
  mControls.clear();
}

// --- Drawing cycle ----------------------------------------------------------------------------------------

bool IGContext::IsDirty(IRectList& rects)
{
  bool dirty = false;
  for (const auto& c : mControls)
  {
    if (c->IsDirty())
    {
      rects.Add(c->GetRECT().Padded(kDirtyPadding));
      dirty = true;
    }
  }
  return dirty;
}

void IGContext::Draw(IRectList& rects)
{
  if (rects.Size() == 0)
    return;
  const float s = GetBackingPixelScale();
  BeginFrame();
  rects.PixelAlign(s);
  rects.Optimize();
  for (int i = 0; i < rects.Size(); ++i)
  {
    const IRect r = rects.Get(i);
    for (const auto& c : mControls)
      DrawControl(*c, r, s);
  }
  EndFrame();
}

void IGContext::DrawControl(IControl& control, const IRect& bounds, float scale)
{
  if (control.IsHidden() && (mControls.empty() || mControls.front().get() != &control))
    return;
  const IRect controlBounds = control.GetRECT().Padded(kDirtyPadding).PixelAligned(scale);
  const IRect clip = bounds.Intersect(controlBounds);
  if (clip.W() <= 0.f || clip.H() <= 0.f)
    return;

  PathTransformReset(true);
  PathClear();
  mClipRECT = clip;
  SetClipRegion(clip);
  control.Draw(*this);
}

void IGContext::DrawText(const IText& text, const char* str, const IRect& bounds, const IBlend* blend)
{
  if (str == nullptr || str[0] == '\0')
    return;
  DoDrawText(text, str, bounds, blend);
}

void IGContext::DrawBitmap(const IBitmap& bitmap, const IRect& bounds, int frame, const IBlend* blend)
{
  if (!bitmap.GetAPIBitmap())
    return;
  const int n = bitmap.N();
  frame = std::min(n, std::max(1, frame));
  int srcX = 0;
  int srcY = 0;
  if (n > 1 && frame > 1)
  {
    if (bitmap.GetFramesAreHorizontal())
      srcX = (frame - 1) * bitmap.W() / n;
    else
      srcY = (frame - 1) * bitmap.H() / n;
  }
  DrawBitmap(bitmap, bounds, srcX, srcY, blend);
}

// --- Primitives -------------------------------------------------------------------------------------------

void IGContext::DrawFittedBitmap(const IBitmap& bitmap, const IRect& dest, const IBlend* blend)
{
  if (!bitmap.GetAPIBitmap() || bitmap.W() <= 0 || bitmap.H() <= 0)
    return;
  PathTransformSave();
  PathTransformTranslate(dest.L, dest.T);
  PathTransformScale(dest.W() / static_cast<float>(bitmap.W()), dest.H() / static_cast<float>(bitmap.H()));
  DrawBitmap(bitmap, IRect(0.f, 0.f, static_cast<float>(bitmap.W()), static_cast<float>(bitmap.H())), 0, 0, blend);
  PathTransformRestore();
}

void IGContext::DrawRotatedBitmap(const IBitmap& bitmap, float destCtrX, float destCtrY, float angle,
                                  const IBlend* blend)
{
  if (!bitmap.GetAPIBitmap())
    return;
  const auto w = static_cast<float>(bitmap.W());
  const auto h = static_cast<float>(bitmap.H());
  PathTransformSave();
  PathTransformTranslate(destCtrX, destCtrY);
  PathTransformRotate(angle);
  DrawBitmap(bitmap, IRect(-w * 0.5f, -h * 0.5f, w * 0.5f, h * 0.5f), 0, 0, blend);
  PathTransformRestore();
}

void IGContext::DrawPoint(const IColor& color, float x, float y, const IBlend* blend)
{
  FillRect(color, IRect(x, y, x + 1.f, y + 1.f), blend);
}

void IGContext::DrawLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend,
                         float thickness)
{
  PathClear();
  PathLine(x1, y1, x2, y2);
  PathStroke(color, thickness, IStrokeOptions(), blend);
}

void IGContext::DrawTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                             const IBlend* blend, float thickness)
{
  const float x[] = {x1, x2, x3};
  const float y[] = {y1, y2, y3};
  DrawConvexPolygon(color, x, y, 3, blend, thickness);
}

void IGContext::DrawRect(const IColor& color, const IRect& bounds, const IBlend* blend, float thickness)
{
  PathClear();
  PathRect(bounds);
  PathStroke(color, thickness, IStrokeOptions(), blend);
}

void IGContext::DrawRoundRect(const IColor& color, const IRect& bounds, float cRTL, float cRTR, float cRBR,
                              float cRBL, const IBlend* blend, float thickness)
{
  PathClear();
  PathRoundRect(bounds, cRTL, cRTR, cRBR, cRBL);
  PathStroke(color, thickness, IStrokeOptions(), blend);
}

void IGContext::DrawRoundRect(const IColor& color, const IRect& bounds, float cornerRadius, const IBlend* blend,
                              float thickness)
{
  DrawRoundRect(color, bounds, cornerRadius, cornerRadius, cornerRadius, cornerRadius, blend, thickness);
}

void IGContext::DrawArc(const IColor& color, float cx, float cy, float r, float a1, float a2, const IBlend* blend,
                        float thickness)
{
  PathClear();
  PathArc(cx, cy, r, a1, a2);
  PathStroke(color, thickness, IStrokeOptions(), blend);
}

void IGContext::DrawCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend, float thickness)
{
  PathClear();
  PathCircle(cx, cy, r);
  PathStroke(color, thickness, IStrokeOptions(), blend);
}

void IGContext::DrawEllipse(const IColor& color, const IRect& bounds, const IBlend* blend, float thickness)
{
  PathClear();
  PathEllipse(bounds);
  PathStroke(color, thickness, IStrokeOptions(), blend);
}

void IGContext::DrawConvexPolygon(const IColor& color, const float* x, const float* y, int npoints,
                                  const IBlend* blend, float thickness)
{
  PathClear();
  PathConvexPolygon(x, y, npoints);
  PathStroke(color, thickness, IStrokeOptions(), blend);
}

void IGContext::DrawDottedLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend,
                               float thickness, float dashLen)
{
  IStrokeOptions options;
  options.dashes = {dashLen};
  PathClear();
  PathLine(x1, y1, x2, y2);
  PathStroke(color, thickness, options, blend);
}

void IGContext::DrawDottedRect(const IColor& color, const IRect& bounds, const IBlend* blend, float thickness,
                               float dashLen)
{
  IStrokeOptions options;
  options.dashes = {dashLen};
  PathClear();
  PathRect(bounds);
  PathStroke(color, thickness, options, blend);
}

void IGContext::FillTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                             const IBlend* blend)
{
  const float x[] = {x1, x2, x3};
  const float y[] = {y1, y2, y3};
  FillConvexPolygon(color, x, y, 3, blend);
}

void IGContext::FillRect(const IColor& color, const IRect& bounds, const IBlend* blend)
{
  PathClear();
  PathRect(bounds);
  PathFill(color, IFillOptions(), blend);
}

void IGContext::FillRoundRect(const IColor& color, const IRect& bounds, float cRTL, float cRTR, float cRBR,
                              float cRBL, const IBlend* blend)
{
  PathClear();
  PathRoundRect(bounds, cRTL, cRTR, cRBR, cRBL);
  PathFill(color, IFillOptions(), blend);
}

void IGContext::FillRoundRect(const IColor& color, const IRect& bounds, float cornerRadius, const IBlend* blend)
{
  FillRoundRect(color, bounds, cornerRadius, cornerRadius, cornerRadius, cornerRadius, blend);
}

void IGContext::FillCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend)
{
  PathClear();
  PathCircle(cx, cy, r);
  PathFill(color, IFillOptions(), blend);
}

void IGContext::FillEllipse(const IColor& color, const IRect& bounds, const IBlend* blend)
{
  PathClear();
  PathEllipse(bounds);
  PathFill(color, IFillOptions(), blend);
}

void IGContext::FillArc(const IColor& color, float cx, float cy, float r, float a1, float a2, const IBlend* blend)
{
  PathClear();
  PathMoveTo(cx, cy);
  PathArc(cx, cy, r, a1, a2);
  PathClose();
  PathFill(color, IFillOptions(), blend);
}

void IGContext::FillConvexPolygon(const IColor& color, const float* x, const float* y, int npoints,
                                  const IBlend* blend)
{
  PathClear();
  PathConvexPolygon(x, y, npoints);
  PathFill(color, IFillOptions(), blend);
}

void IGContext::PathRect(const IRect& bounds)
{
  PathMoveTo(bounds.L, bounds.T);
  PathLineTo(bounds.R, bounds.T);
  PathLineTo(bounds.R, bounds.B);
  PathLineTo(bounds.L, bounds.B);
  PathClose();
}

void IGContext::PathRoundRect(const IRect& bounds, float cRTL, float cRTR, float cRBR, float cRBL)
{
  if (cRTL <= 0.f && cRTR <= 0.f && cRBR <= 0.f && cRBL <= 0.f)
  {
    PathRect(bounds);
    return;
  }
  const float l = bounds.L, t = bounds.T, r = bounds.R, b = bounds.B;
  PathMoveTo(l + cRTL, t);
  PathLineTo(r - cRTR, t);
  PathArc(r - cRTR, t + cRTR, cRTR, 0.f, 90.f);
  PathLineTo(r, b - cRBR);
  PathArc(r - cRBR, b - cRBR, cRBR, 90.f, 180.f);
  PathLineTo(l + cRBL, b);
  PathArc(l + cRBL, b - cRBL, cRBL, 180.f, 270.f);
  PathLineTo(l, t + cRTL);
  PathArc(l + cRTL, t + cRTL, cRTL, 270.f, 360.f);
  PathClose();
}

void IGContext::PathRoundRect(const IRect& bounds, float cornerRadius)
{
  PathRoundRect(bounds, cornerRadius, cornerRadius, cornerRadius, cornerRadius);
}

void IGContext::PathCircle(float cx, float cy, float r)
{
  PathArc(cx, cy, r, 0.f, 360.f);
}

void IGContext::PathEllipse(const IRect& bounds)
{
  PathTransformSave();
  PathTransformTranslate(bounds.MW(), bounds.MH());
  PathTransformScale(bounds.W() * 0.5f, bounds.H() * 0.5f);
  PathCircle(0.f, 0.f, 1.f);
  PathTransformRestore();
}

void IGContext::PathConvexPolygon(const float* x, const float* y, int npoints)
{
  if (x == nullptr || y == nullptr || npoints < 1)
    return;
  PathMoveTo(x[0], y[0]);
  for (int i = 1; i < npoints; ++i)
    PathLineTo(x[i], y[i]);
  PathClose();
}

void IGContext::PathLine(float x1, float y1, float x2, float y2)
{
  PathMoveTo(x1, y1);
  PathLineTo(x2, y2);
}

// --- Transforms, clip and layers --------------------------------------------------------------------------

void IGContext::PathTransformSave()
{
  mTransformStack.push_back(mTransform);
}

void IGContext::PathTransformRestore()
{
  if (mTransformStack.empty())
    return;
  mTransform = mTransformStack.back();
  mTransformStack.pop_back();
  PathTransformSetMatrix(mTransform);
}

void IGContext::PathTransformReset(bool clearStack)
{
  if (clearStack)
    mTransformStack.clear();
  mTransform = IMatrix();
  PathTransformSetMatrix(mTransform);
}

void IGContext::PathTransformTranslate(float x, float y)
{
  mTransform.Translate(x, y);
  PathTransformSetMatrix(mTransform);
}

void IGContext::PathTransformScale(float x, float y)
{
  mTransform.Scale(x, y);
  PathTransformSetMatrix(mTransform);
}

void IGContext::PathTransformRotate(float angle)
{
  mTransform.Rotate(angle);
  PathTransformSetMatrix(mTransform);
}

void IGContext::PathTransformMatrix(const IMatrix& m)
{
  mTransform = m.Then(mTransform);
  PathTransformSetMatrix(mTransform);
}

void IGContext::PathClipRegion(const IRect& r)
{
  IRect clip = mClipRECT;
  if (!r.Empty())
    clip = mClipRECT.Empty() ? r : r.Intersect(mClipRECT);
  // Nothing in common with the current clip: clip to an area of no size so that nothing is drawn.
  if (clip.Empty() && !r.Empty())
    clip = IRect(r.L, r.T, r.L, r.T);
  SetClipRegion(clip.Empty() ? GetBounds() : clip);
}

void IGContext::StartLayer(IControl* control, const IRect& r)
{
  const float s = GetBackingPixelScale();
  const int w = static_cast<int>(std::ceil(r.W() * s));
  const int h = static_cast<int>(std::ceil(r.H() * s));
  std::unique_ptr<APIBitmap> bitmap = CreateAPIBitmap(std::max(1, w), std::max(1, h), mScreenScale, mDrawScale);
  mLayerSavedState.push_back({mTransform, mTransformStack, mClipRECT});
  mLayers.push_back(std::make_unique<ILayer>(std::move(bitmap), r, control));
  UpdateLayer();
  mTransformStack.clear();
  mTransform = IMatrix();
  PathTransformSetMatrix(mTransform);
  mClipRECT = r;
  SetClipRegion(r);
}

ILayerPtr IGContext::EndLayer()
{
  if (mLayers.empty())
    return nullptr;
  ILayerPtr layer = std::move(mLayers.back());
  mLayers.pop_back();
  SavedDrawState saved = std::move(mLayerSavedState.back());
  mLayerSavedState.pop_back();
  UpdateLayer();
  mTransform = saved.transform;
  mTransformStack = std::move(saved.stack);
  mClipRECT = saved.clip;
  PathTransformSetMatrix(mTransform);
  SetClipRegion(mClipRECT.Empty() ? GetBounds() : mClipRECT);
  return layer;
}

void IGContext::DrawLayer(const ILayerPtr& layer, const IBlend* blend)
{
  if (!layer || !layer->GetAPIBitmap())
    return;
  DrawBitmap(layer->GetBitmap(), layer->Bounds(), 0, 0, blend);
}

// --- Text -------------------------------------------------------------------------------------------------

float IGContext::MeasureText(const IText& text, const char* str, IRect& bounds) const
{
  const float w = DoMeasureText(text, str, bounds);
  if (text.angle == 0.f || w <= 0.f)
    return w;

  // A turned text occupies the box around its turned corners.
  float cx = 0.f, cy = 0.f;
  TextRotationCentre(bounds, cx, cy);
  IMatrix m;
  m.Translate(cx, cy).Rotate(text.angle).Translate(-cx, -cy);
  const float xs[] = {bounds.L, bounds.R, bounds.R, bounds.L};
  const float ys[] = {bounds.T, bounds.T, bounds.B, bounds.B};
  IRect box;
  for (int i = 0; i < 4; ++i)
  {
    double x = xs[i], y = ys[i];
    m.TransformPoint(x, y);
    const IRect p(static_cast<float>(x), static_cast<float>(y), static_cast<float>(x), static_cast<float>(y));
    box = i == 0 ? p : IRect(std::min(box.L, p.L), std::min(box.T, p.T), std::max(box.R, p.R), std::max(box.B, p.B));
  }
  bounds = box;
  return bounds.W();
}

void IGContext::DrawMultiLineText(const IText& text, const char*, const IRect& bounds, const IBlend* blend)
{
  DrawText(text, "Unsupported", bounds, blend);
}

// --- Bitmaps and fonts ------------------------------------------------------------------------------------

IBitmap IGContext::LoadBitmap(const char* name, int nStates, bool framesAreHorizontal, int targetScale)
{
  if (name == nullptr || name[0] == '\0')
    return {};
  if (targetScale == 0)
    targetScale = static_cast<int>(std::ceil(GetBackingPixelScale()));
  targetScale = std::max(1, targetScale);

  const std::string nm(name);
  SharedCache<APIBitmap>& cache = BitmapCache();
  const auto lock = cache.Acquire();

  if (APIBitmap* cached = cache.Find(nm, targetScale))
    return IBitmap(cached, nStates, framesAreHorizontal, nm);

  const size_t dot = nm.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : nm.substr(dot + 1);
  if (!BitmapExtSupported(ext.c_str()))
    return {};

  std::string located;
  int sourceScale = targetScale;
  const ResourceLocation location = FindBitmapResource(nm, ext, located, targetScale, sourceScale);

  std::unique_ptr<APIBitmap> decoded;
  APIBitmap* picture = nullptr;
  if (location != ResourceLocation::NotFound)
  {
    if (sourceScale != targetScale)
      picture = cache.Find(nm, sourceScale);
    if (picture == nullptr)
    {
      decoded = LoadAPIBitmap(located.c_str(), sourceScale, location, ext.c_str());
      picture = decoded.get();
    }
  }
  else
  {
    picture = FindCachedBitmap(nm, targetScale, sourceScale);
  }
  if (picture == nullptr)
    return {};

  if (picture->GetScale() == static_cast<float>(targetScale))
  {
    if (decoded)
      picture = RetainBitmap(std::move(decoded), nm);
    return IBitmap(picture, nStates, framesAreHorizontal, nm);
  }
  // Made at another resolution: redraw it at the target scale; a freshly decoded source is not kept.
  return ScaleBitmap(IBitmap(picture, nStates, framesAreHorizontal, nm), nm, targetScale);
}

bool IGContext::LoadFont(const char* fontID, const char* fileNameOrResID)
{
  if (fontID == nullptr || fileNameOrResID == nullptr)
    return false;
  return ::ondrell::graphics::LoadFont(fontID, fileNameOrResID);
}

IBitmap IGContext::ScaleBitmap(const IBitmap& bitmap, const std::string& name, int targetScale)
{
  if (!bitmap.GetAPIBitmap())
    return {};
  const float savedScreenScale = mScreenScale;
  const float savedDrawScale = mDrawScale;
  mScreenScale = static_cast<float>(targetScale);
  mDrawScale = bitmap.GetDrawScale();

  const IRect r(0.f, 0.f, static_cast<float>(bitmap.W()), static_cast<float>(bitmap.H()));
  StartLayer(nullptr, r);
  DrawBitmap(bitmap, r, 0, 0, nullptr);
  mScreenScale = savedScreenScale;
  mDrawScale = savedDrawScale;
  ILayerPtr layer = EndLayer();

  std::unique_ptr<APIBitmap> scaled = layer ? layer->TakeAPIBitmap() : nullptr;
  if (!scaled)
    return {};
  APIBitmap* kept = RetainBitmap(std::move(scaled), name);
  return IBitmap(kept, bitmap.N(), bitmap.GetFramesAreHorizontal(), name);
}

APIBitmap* IGContext::RetainBitmap(std::unique_ptr<APIBitmap> bitmap, const std::string& name)
{
  if (!bitmap)
    return nullptr;
  const double scale = bitmap->GetScale();
  return BitmapCache().Add(std::move(bitmap), name, scale);
}

void IGContext::ReleaseBitmap(const IBitmap& bitmap)
{
  if (bitmap.GetAPIBitmap())
    BitmapCache().Remove(bitmap.GetAPIBitmap());
}

// --- Pointer and keys -------------------------------------------------------------------------------------

IControl* IGContext::GetMouseControl(float x, float y, bool capture, bool mouseOver, int64_t touchID)
{
  if (!mCapturedMap.empty())
  {
    const auto it = mCapturedMap.find(touchID);
    if (it != mCapturedMap.end())
      return it->second;
  }

  IControl* found = nullptr;
  int foundIdx = -1;
  if (!(mouseOver && !mEnableMouseOver))
  {
    const int lowest = mouseOver ? 1 : 0;
    for (int i = NControls() - 1; i >= lowest; --i)
    {
      IControl* c = mControls[static_cast<size_t>(i)].get();
      if (c->IsHidden() || c->GetIgnoreMouse())
        continue;
      if (c->IsDisabled() && !(mouseOver ? c->GetMOWhenGrayed() : c->GetMEWhenGrayed()))
        continue;
      if (c->IsHit(x, y))
      {
        found = c;
        foundIdx = i;
        break;
      }
    }
  }

  if (capture && found)
    mCapturedMap.emplace(touchID, found);
  if (mouseOver)
    mMouseOverIdx = foundIdx;
  return found;
}

void IGContext::ReleaseMouseCapture()
{
  mCapturedMap.clear();
}

bool IGContext::ControlIsCaptured(const IControl* control) const
{
  for (const auto& [touch, c] : mCapturedMap)
  {
    if (c == control)
      return true;
  }
  return false;
}

void IGContext::ShowHiddenCursor()
{
  if (mCursorHidden)
    HideMouseCursor(false, false);
}

void IGContext::BeginEdits(IControl& control)
{
  for (int i = 0; i < control.NVals(); ++i)
  {
    const int paramIdx = control.GetParamIdx(i);
    if (paramIdx >= 0)
      mDelegate.BeginParamEditFromEditor(paramIdx);
  }
}

void IGContext::EndEdits(IControl& control)
{
  for (int i = 0; i < control.NVals(); ++i)
  {
    const int paramIdx = control.GetParamIdx(i);
    if (paramIdx >= 0)
      mDelegate.EndParamEditFromEditor(paramIdx);
  }
}

void IGContext::OnMouseDown(const std::vector<IMouseInfo>& points)
{
  if (points.size() == 1)
  {
    mMouseDownX = points.front().x;
    mMouseDownY = points.front().y;
  }

  for (const IMouseInfo& p : points)
  {
    IControl* control = GetMouseControl(p.x, p.y, true, false, p.ms.touchID);
    if (control == nullptr)
      continue;

    const int valIdx = control->GetValIdxForPos(p.x, p.y);
    const int paramIdx = control->GetParamIdx(std::max(valIdx, 0));
    if (p.ms.R && paramIdx >= 0)
    {
      // A right press over a bound control offers its context menu instead of reaching the control.
      ReleaseMouseCapture();
      ShowHiddenCursor();
      mPromptPopupMenu.Clear();
      control->CreateContextMenu(mPromptPopupMenu);
      if (mPromptPopupMenu.NItems() > 0)
        CreatePopupMenu(*control, mPromptPopupMenu, IRect(p.x, p.y, p.x, p.y), kNoValIdx, true);
      return;
    }

    BeginEdits(*control);
    control->OnMouseDown(p.x, p.y, p.ms);
  }
}

void IGContext::OnMouseUp(const std::vector<IMouseInfo>& points)
{
  if (!mCapturedMap.empty())
  {
    for (const IMouseInfo& p : points)
    {
      const auto it = mCapturedMap.find(p.ms.touchID);
      if (it == mCapturedMap.end())
        continue;
      IControl* control = it->second;
      control->OnMouseUp(p.x, p.y, p.ms);
      EndEdits(*control);
      mCapturedMap.erase(p.ms.touchID);
    }
  }

  if (mResizingInProcess)
  {
    EndDragResize();
    mFreeResize = false;
  }

  if (mPendingSnapScale > 0.f)
  {
    const float snap = mPendingSnapScale;
    mPendingSnapScale = 0.f;
    mResizingInProcess = true;
    mFreeResize = false;
    Resize(mWidth, mHeight, snap, true);
    EndDragResize();
  }

  if (points.size() == 1 && points.front().ms.touchID == 0)
    OnMouseOver(points.front().x, points.front().y, points.front().ms);
}

void IGContext::OnMouseDrag(const std::vector<IMouseInfo>& points)
{
  if (mResizingInProcess && points.size() == 1)
  {
    const IMouseInfo& p = points.front();
    mFreeResize = p.ms.S;
    if (mResizerMode == ResizerMode::Scale)
    {
      // The press point is the reference; without a press inside the editor there is no ratio to follow.
      if (mMouseDownX > 0.f && mMouseDownY > 0.f)
      {
        const float scale = std::min(mDrawScale * p.y / mMouseDownY, mDrawScale * p.x / mMouseDownX);
        Resize(mWidth, mHeight, scale, true);
      }
    }
    else
    {
      Resize(static_cast<int>(p.x), static_cast<int>(p.y), mDrawScale, true);
    }
    return;
  }

  if (mCapturedMap.empty() || mInTextEntry != nullptr)
    return;

  for (const IMouseInfo& p : points)
  {
    const auto it = mCapturedMap.find(p.ms.touchID);
    if (it != mCapturedMap.end() && (p.dX != 0.f || p.dY != 0.f))
      it->second->OnMouseDrag(p.x, p.y, p.dX, p.dY, p.ms);
  }
}

bool IGContext::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
  IControl* control = GetMouseControl(x, y, true, false, mod.touchID);
  if (control == nullptr)
    return false;

  if (control->GetDblAsSingleClick())
  {
    IMouseInfo info;
    info.x = x;
    info.y = y;
    info.ms = mod;
    OnMouseDown({info});
    return true;
  }

  control->OnMouseDblClick(x, y, mod);
  ReleaseMouseCapture();
  ShowHiddenCursor();
  return true;
}

bool IGContext::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  IControl* control = GetMouseControl(x, y, false, true, mod.touchID);
  if (control != mMouseOver)
  {
    if (mMouseOver)
      mMouseOver->OnMouseOut();
    mMouseOver = control;
  }
  if (control)
    control->OnMouseOver(x, y, mod);
  return control != nullptr;
}

void IGContext::OnMouseOut()
{
  // The arrow is shown while the pointer is away, but the type stays current so it returns on re-entry.
  const CursorType current = mCursorType;
  SetMouseCursor(CursorType::Arrow);
  mCursorType = current;
  for (const auto& c : mControls)
    c->OnMouseOut();
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
}

bool IGContext::OnMouseWheel(float x, float y, const IMouseMod& mod, float delta)
{
  IControl* control = GetMouseControl(x, y, false, false, mod.touchID);
  if (control)
    control->OnMouseWheel(x, y, mod, delta);
  return control != nullptr;
}

void IGContext::OnDrop(const char* str, float x, float y)
{
  for (int i = NControls() - 1; i >= 0; --i)
  {
    IControl* c = mControls[static_cast<size_t>(i)].get();
    if (!c->IsHidden() && c->AcceptsDrops() && c->IsHit(x, y))
    {
      c->OnDrop(str);
      return;
    }
  }
  if (IControl* c = GetMouseControl(x, y, false))
    c->OnDrop(str);
}

void IGContext::OnDropMultiple(const std::vector<const char*>& paths, float x, float y)
{
  for (int i = NControls() - 1; i >= 0; --i)
  {
    IControl* c = mControls[static_cast<size_t>(i)].get();
    if (!c->IsHidden() && c->AcceptsDrops() && c->IsHit(x, y))
    {
      c->OnDropMultiple(paths);
      return;
    }
  }
  if (IControl* c = GetMouseControl(x, y, false))
    c->OnDropMultiple(paths);
}

bool IGContext::OnKeyDown(float x, float y, const IKeyPress& key)
{
  ONDRELL_TRACE("ondrell::graphics::IGContext::OnKeyDown", "x:%0.2f, y:%0.2f, key:%s", x, y, key.utf8);
  IControl* control = GetMouseControl(x, y, false);
  if (control && control != GetControl(0) && control->OnKeyDown(x, y, key))
    return true;
  return mKeyHandlerFunc ? mKeyHandlerFunc(key, false) : false;
}

bool IGContext::OnKeyUp(float x, float y, const IKeyPress& key)
{
  ONDRELL_TRACE("ondrell::graphics::IGContext::OnKeyUp", "x:%0.2f, y:%0.2f, key:%s", x, y, key.utf8);
  IControl* control = GetMouseControl(x, y, false);
  if (control && control != GetControl(0) && control->OnKeyUp(x, y, key))
    return true;
  return mKeyHandlerFunc ? mKeyHandlerFunc(key, true) : false;
}

CursorType IGContext::SetMouseCursor(CursorType type)
{
  const CursorType previous = mCursorType;
  mCursorType = type;
  return previous;
}

// --- Size and scale ---------------------------------------------------------------------------------------

void IGContext::Resize(int w, int h, float scale, bool needsPlatformResize)
{
  mDelegate.ConstrainEditorSize(w, h);
  scale = ClampScale(scale);
  if (w == mWidth && h == mHeight && scale == mDrawScale)
    return;

  if (!mResizingInProcess)
  {
    ReleaseMouseCapture();
    ShowHiddenCursor();
  }

  mWidth = w;
  mHeight = h;
  mDrawScale = scale;

  const int pw = static_cast<int>(GetPlatformWindowScale() * static_cast<float>(static_cast<int>(static_cast<float>(mWidth) * mDrawScale)));
  const int ph = static_cast<int>(GetPlatformWindowScale() * static_cast<float>(static_cast<int>(static_cast<float>(mHeight) * mDrawScale)));
  const bool parentResized = mDelegate.ResizeEditorFromEditor(pw, ph, needsPlatformResize);
  PlatformResize(parentResized);

  for (const auto& c : mControls)
    c->OnResize();
  SetAllControlsDirty();
  DrawResize();
}

int IGContext::DisplayTickPeriodMs(int fps)
{
  const int period = fps > 0 ? 1000 / fps : 1000;
  return period < 20 ? 15 : period;
}

void IGContext::SetScreenScale(float scale)
{
  // The density is a whole number of at least 1; anything else (0 from a very low dpi, NaN) would make the
  // pixel size zero or undefined.
  mScreenScale = (scale >= 1.f && std::isfinite(scale)) ? scale : 1.f;

  const int pw = static_cast<int>(GetPlatformWindowScale() * static_cast<float>(static_cast<int>(static_cast<float>(mWidth) * mDrawScale)));
  const int ph = static_cast<int>(GetPlatformWindowScale() * static_cast<float>(static_cast<int>(static_cast<float>(mHeight) * mDrawScale)));
  const bool parentResized = mDelegate.ResizeEditorFromEditor(pw, ph, true);
  PlatformResize(parentResized);

  for (const auto& c : mControls)
    c->OnRescale();
  SetAllControlsDirty();
  DrawResize();
}

void IGContext::EndDragResize()
{
  mResizingInProcess = false;
  if (mResizerMode == ResizerMode::Scale)
  {
    for (const auto& c : mControls)
      c->OnRescale();
    SetAllControlsDirty();
  }
}

IBitmap IGContext::GetScaledBitmap(const IBitmap& src)
{
  IBitmap scaled = LoadBitmap(src.GetResourceName().c_str(), src.N(), src.GetFramesAreHorizontal(),
                              static_cast<int>(std::ceil(GetBackingPixelScale())));
  // A picture that cannot be reloaded by name (made in memory, or its resource gone) is kept and drawn scaled
  // rather than lost.
  return scaled.IsValid() ? scaled : src;
}

// --- Linkage and prompts ----------------------------------------------------------------------------------

void IGContext::UpdateLinkedControls(IControl* control, int valIdx)
{
  if (control == nullptr)
    return;
  const int paramIdx = control->GetParamIdx(valIdx);
  if (paramIdx < 0)
    return;
  const double value = control->GetValue(valIdx);
  for (const auto& c : mControls)
  {
    if (c.get() == control)
      continue;
    const int linked = c->LinkedToParam(paramIdx);
    if (linked >= 0)
      c->SetValueFromDelegate(value, linked);
  }
}

void IGContext::PromptUserInput(IControl& control, const IRect& bounds, int valIdx)
{
  const IParam* param = control.GetParam(valIdx);
  if (param == nullptr)
    return;

  const ParamKind kind = param->GetKind();
  if (kind == ParamKind::Enum || (kind == ParamKind::Bool && param->DisplayTextCount() != 0))
  {
    std::string current;
    param->FormatValue(param->Value(), false, current, true);
    mPromptPopupMenu.Clear();
    mPromptPopupMenu.SetTitle(param->GetName());
    for (int i = 0; i < param->DisplayTextCount(); ++i)
    {
      const DisplayTextEntry* entry = param->GetDisplayTextEntry(i);
      const char* text = entry ? entry->text : "";
      mPromptPopupMenu.AddItem(text, current == text ? IPopupMenu::kChecked : 0);
    }
    CreatePopupMenu(control, mPromptPopupMenu, bounds, valIdx, false);
  }
  else
  {
    std::string text;
    param->FormatValue(param->Value(), false, text, false);
    if (control.GetPromptShowsParamLabel())
    {
      text += ' ';
      text += param->GetLabel();
    }
    CreateTextEntry(control, control.GetText(), bounds, text.c_str(), valIdx);
  }
}

void IGContext::CreateTextEntry(IControl& control, const IText& text, const IRect& bounds, const char* str,
                                int valIdx)
{
  mInTextEntry = &control;
  mTextEntryValIdx = valIdx;
  const int paramIdx = valIdx >= 0 ? control.GetParamIdx(valIdx) : kNoParameter;
  CreatePlatformTextEntry(paramIdx, text, bounds, control.GetTextEntryLength(), str ? str : "");
  control.SetDirty(false);
}

void IGContext::CommitTextEntry(const char* str)
{
  IControl* control = mInTextEntry;
  const int valIdx = mTextEntryValIdx;
  // Cleared first, so a control may open another entry from its completion.
  ClearTextEntryTarget();
  if (control == nullptr)
    return;
  const char* text = str ? str : "";
  if (const IParam* param = control->GetParam(valIdx))
    control->SetValueFromUserInput(param->ToNormalised(param->ParseText(text)), valIdx);
  else
    control->OnTextEntryCompletion(text, valIdx);
  // The control hid its text while the field was open.
  control->SetDirty(false);
}

void IGContext::CreatePopupMenu(IControl& control, IPopupMenu& menu, const IRect& bounds, int valIdx,
                                bool isContext)
{
  ReleaseMouseCapture();
  ShowHiddenCursor();
  mInPopupMenu = &control;
  mPopupMenuValIdx = valIdx;
  mIsContextMenu = isContext;
  bool isAsync = false;
  IPopupMenu* result = CreatePlatformPopupMenu(menu, bounds, isAsync);
  if (!isAsync)
    SetControlValueAfterPopupMenu(result);
}

void IGContext::SetControlValueAfterPopupMenu(IPopupMenu* menu)
{
  IControl* control = mInPopupMenu;
  const int valIdx = mPopupMenuValIdx;
  const bool isContext = mIsContextMenu;
  mInPopupMenu = nullptr;
  mPopupMenuValIdx = -1;
  mIsContextMenu = false;
  if (control == nullptr)
    return;

  IPopupMenu* chosen = (menu && menu->GetChosenItemIdx() >= 0) ? menu : nullptr;
  if (chosen)
    chosen->ExecFunction();
  if (isContext)
  {
    control->OnContextSelection(chosen ? chosen->GetChosenItemIdx() : -1);
  }
  else
  {
    control->OnPopupMenuSelection(chosen, valIdx);
    // Closes the edit gesture the press that opened the menu began (the menu took the capture away).
    EndEdits(*control);
  }
}

} // namespace ondrell::graphics
