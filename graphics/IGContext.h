#pragma once

// The editor's graphics context: the owned, ordered list of controls, pointer and key routing with capture,
// dirty regions and repainting through an abstract drawing interface, the editor's size and its two scale
// factors, and resizing (including the snapping resize the editor's corner drives). A drawing backend derives
// from it and implements the drawing operations; a platform class derives from the backend and implements the
// window, the cursor, native text entry and menus.

#include "graphics/GraphicsCaches.h"
#include "graphics/IBitmap.h"
#include "graphics/IGraphicsTypes.h"
#include "graphics/IPopupMenu.h"
#include "graphics/IRect.h"
#include "graphics/ResourceLocator.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace ondrell::graphics {

class IControl;
class IGEditorDelegate;

inline constexpr int kNoTag = -1;
inline constexpr float kMinScale = 0.5f;
inline constexpr float kMaxScale = 4.0f;
// Dirty and drawn control rectangles are grown by this much so anti-aliased edges are repainted too.
inline constexpr float kDirtyPadding = 0.75f;

// An off-screen drawing target opened by StartLayer and returned by EndLayer. Owns its picture until it is
// taken (a scaled bitmap is made this way and handed to the bitmap cache).
class ILayer
{
public:
  ILayer(std::unique_ptr<APIBitmap> bitmap, const IRect& bounds, IControl* control)
    : mBitmap(std::move(bitmap)), mBounds(bounds), mControl(control)
  {
  }

  APIBitmap* GetAPIBitmap() const { return mBitmap.get(); }
  std::unique_ptr<APIBitmap> TakeAPIBitmap() { return std::move(mBitmap); }
  // A handle for drawing the layer's picture like any bitmap.
  IBitmap GetBitmap() const { return IBitmap(mBitmap.get(), 1, false); }
  const IRect& Bounds() const { return mBounds; }
  IControl* GetControl() const { return mControl; }

private:
  std::unique_ptr<APIBitmap> mBitmap;
  IRect mBounds;
  IControl* mControl;
};

using ILayerPtr = std::unique_ptr<ILayer>;

// Threads: everything runs on the editor's window thread. Owns its controls, the prompt menu and its layers;
// shares the process-wide bitmap and typeface caches through its cache-user registration.
class IGContext
{
public:
  using KeyHandlerFunc = std::function<bool(const IKeyPress& key, bool isUp)>;

  IGContext(IGEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  virtual ~IGContext();
  IGContext(const IGContext&) = delete;
  IGContext& operator=(const IGContext&) = delete;

  // Frame lifecycle and backend hooks.
  virtual void BeginFrame() {}
  virtual void OnViewInitialized() {}
  virtual void OnViewDestroyed() {}
  virtual void EndFrame() {}

  // Draws the part of the picture whose top-left is (srcX, srcY) in points into dest, clipped to dest.
  virtual void DrawBitmap(const IBitmap& bitmap, const IRect& dest, int srcX, int srcY,
                          const IBlend* blend = nullptr) = 0;

  // Stroked primitives, built from the path operations.
  virtual void DrawFittedBitmap(const IBitmap& bitmap, const IRect& dest, const IBlend* blend = nullptr);
  // The whole picture turned by angle degrees (clockwise) about its centre, placed at (destCtrX, destCtrY).
  virtual void DrawRotatedBitmap(const IBitmap& bitmap, float destCtrX, float destCtrY, float angle,
                                 const IBlend* blend = nullptr);
  virtual void DrawPoint(const IColor& color, float x, float y, const IBlend* blend = nullptr);
  virtual void DrawLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend = nullptr,
                        float thickness = 1.f);
  virtual void DrawTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                            const IBlend* blend = nullptr, float thickness = 1.f);
  virtual void DrawRect(const IColor& color, const IRect& bounds, const IBlend* blend = nullptr,
                        float thickness = 1.f);
  virtual void DrawRoundRect(const IColor& color, const IRect& bounds, float cRTL, float cRTR, float cRBR,
                             float cRBL, const IBlend* blend = nullptr, float thickness = 1.f);
  virtual void DrawRoundRect(const IColor& color, const IRect& bounds, float cornerRadius,
                             const IBlend* blend = nullptr, float thickness = 1.f);
  virtual void DrawArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
                       const IBlend* blend = nullptr, float thickness = 1.f);
  virtual void DrawCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend = nullptr,
                          float thickness = 1.f);
  virtual void DrawEllipse(const IColor& color, const IRect& bounds, const IBlend* blend = nullptr,
                           float thickness = 1.f);
  virtual void DrawConvexPolygon(const IColor& color, const float* x, const float* y, int npoints,
                                 const IBlend* blend = nullptr, float thickness = 1.f);
  virtual void DrawDottedLine(const IColor& color, float x1, float y1, float x2, float y2,
                              const IBlend* blend = nullptr, float thickness = 1.f, float dashLen = 2.f);
  virtual void DrawDottedRect(const IColor& color, const IRect& bounds, const IBlend* blend = nullptr,
                              float thickness = 1.f, float dashLen = 2.f);

  // Filled primitives.
  virtual void FillTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                            const IBlend* blend = nullptr);
  virtual void FillRect(const IColor& color, const IRect& bounds, const IBlend* blend = nullptr);
  virtual void FillRoundRect(const IColor& color, const IRect& bounds, float cRTL, float cRTR, float cRBR,
                             float cRBL, const IBlend* blend = nullptr);
  virtual void FillRoundRect(const IColor& color, const IRect& bounds, float cornerRadius,
                             const IBlend* blend = nullptr);
  virtual void FillCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend = nullptr);
  virtual void FillEllipse(const IColor& color, const IRect& bounds, const IBlend* blend = nullptr);
  virtual void FillArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
                       const IBlend* blend = nullptr);
  virtual void FillConvexPolygon(const IColor& color, const float* x, const float* y, int npoints,
                                 const IBlend* blend = nullptr);

  // Text. MeasureText sets bounds to the text's box laid out in bounds and returns its width; 0 when the font
  // is not loaded. DrawText draws nothing for a null or empty text.
  virtual float MeasureText(const IText& text, const char* str, IRect& bounds) const;
  virtual void DrawMultiLineText(const IText& text, const char* str, const IRect& bounds,
                                 const IBlend* blend = nullptr);
  void DrawText(const IText& text, const char* str, const IRect& bounds, const IBlend* blend = nullptr);
  // One frame (counted from 1) of a multi-frame bitmap.
  void DrawBitmap(const IBitmap& bitmap, const IRect& bounds, int frame, const IBlend* blend);

  // Bitmap cache: a copy of a picture made at another resolution and cached; adding and removing pictures.
  virtual IBitmap ScaleBitmap(const IBitmap& bitmap, const std::string& name, int targetScale);
  APIBitmap* RetainBitmap(std::unique_ptr<APIBitmap> bitmap, const std::string& name);
  virtual void ReleaseBitmap(const IBitmap& bitmap);

  // Layers: drawing goes to an off-screen picture of the rect's size between StartLayer and EndLayer.
  void StartLayer(IControl* control, const IRect& r);
  ILayerPtr EndLayer();
  void DrawLayer(const ILayerPtr& layer, const IBlend* blend = nullptr);
  virtual void GetLayerBitmapData(const ILayerPtr& layer, std::vector<uint8_t>& data) = 0;

  // The path interface. Points are in points, mapped by the current transform.
  virtual void PathClear() = 0;
  virtual void PathClose() = 0;
  // Angles in degrees, clockwise from the top.
  virtual void PathArc(float cx, float cy, float r, float a1, float a2, bool winding = false) = 0;
  virtual void PathMoveTo(float x, float y) = 0;
  virtual void PathLineTo(float x, float y) = 0;
  virtual void PathSetWinding(bool clockwise) { (void)clockwise; }
  virtual void PathCubicTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) = 0;
  virtual void PathQuadraticTo(float cx, float cy, float x2, float y2) = 0;
  virtual void PathStroke(const IPattern& pattern, float thickness, const IStrokeOptions& options = {},
                          const IBlend* blend = nullptr) = 0;
  virtual void PathFill(const IPattern& pattern, const IFillOptions& options = {},
                        const IBlend* blend = nullptr) = 0;
  void PathRect(const IRect& bounds);
  void PathRoundRect(const IRect& bounds, float cRTL, float cRTR, float cRBR, float cRBL);
  void PathRoundRect(const IRect& bounds, float cornerRadius);
  void PathCircle(float cx, float cy, float r);
  void PathEllipse(const IRect& bounds);
  void PathConvexPolygon(const float* x, const float* y, int npoints);
  void PathLine(float x1, float y1, float x2, float y2);

  // The transform stack used by the path operations.
  void PathTransformSave();
  void PathTransformRestore();
  void PathTransformReset(bool clearStack = false);
  void PathTransformTranslate(float x, float y);
  void PathTransformScale(float x, float y);
  void PathTransformRotate(float angle);
  void PathTransformMatrix(const IMatrix& m);
  // Clips further drawing to r (points, without the user transform) within the current clip rectangle; an
  // empty r restores the current clip rectangle.
  void PathClipRegion(const IRect& r = IRect());

  // Shadows and pixel access.
  virtual void DrawFastDropShadow(const IRect& innerBounds, const IRect& outerBounds, float xyDrop = 5.f,
                                  float roundness = 0.f, float blur = 10.f, const IBlend* blend = nullptr) = 0;
  // The pixel at (x, y) in device pixels of the current drawing target, as a straight colour.
  virtual IColor GetPoint(int x, int y) = 0;
  virtual const char* GetDrawingAPIStr() = 0;
  // The backend's current drawing object (the top layer's while one is open).
  virtual void* GetDrawContext() = 0;

  // Platform operations.
  virtual void GetMouseLocation(float& x, float& y) const = 0;
  // With lock, showing the pointer again puts it back where it was hidden.
  virtual void HideMouseCursor(bool hide = true, bool lock = true) = 0;
  virtual void MoveMouseCursor(float x, float y) = 0;
  // Shows the shape and remembers it; returns the previous type.
  virtual CursorType SetMouseCursor(CursorType type = CursorType::Arrow);
  virtual void CancelTextEntry() {}
  virtual void* OpenWindow(void* parent) = 0;
  virtual void CloseWindow() = 0;
  virtual void* GetWindow() = 0;
  virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
  virtual bool GetTextFromClipboard(std::string& str) = 0;
  virtual bool SetTextInClipboard(const char* str) = 0;
  virtual bool SetFilePathInClipboard(const char* path) = 0;
  virtual bool InitiateExternalFileDragDrop(const char* path) = 0;
  // Returns the platform's message-box result; the completion receives it.
  virtual int ShowMessageBox(const char* str, const char* caption, int type,
                             std::function<void(int)> completion = nullptr) = 0;
  // action 1 saves; anything else opens. On cancel fileName becomes empty and path stays.
  virtual void PromptForFile(std::string& fileName, std::string& path, int action = 0, const char* ext = "",
                             std::function<void(const std::string&, const std::string&)> completion = nullptr) = 0;
  virtual void PromptForDirectory(std::string& dir,
                                  std::function<void(const std::string&, const std::string&)> completion = nullptr) = 0;
  virtual bool PromptForColor(IColor& color, const char* str = "",
                              std::function<void(const IColor&)> completion = nullptr) = 0;
  virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
                       const char* errMsgOnFailure = nullptr) = 0;
  virtual bool RevealPathInExplorerOrFinder(const char* path, bool select = false) = 0;
  virtual const char* GetPlatformAPIStr() = 0;
  virtual void CreatePlatformTextEntry(int paramIdx, const IText& text, const IRect& bounds, int length,
                                       const char* str) = 0;
  // Shows the menu; returns it with its chosen item set when the choice is made at once (isAsync false), or
  // null when nothing was chosen. An asynchronous platform later calls SetControlValueAfterPopupMenu.
  virtual IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync) = 0;

  // For hosts that watch file descriptors on their main thread: the descriptor the window's events arrive on,
  // -1 when the platform has none or no window is open; ProcessPlatformEvents handles the events waiting there.
  virtual int GetPlatformEventFd() const { return -1; }
  virtual void ProcessPlatformEvents() {}
  // The period of the display tick for the frame rate: 1000 / fps milliseconds, but 15 ms for every rate above
  // 50 frames per second (60 gives 15, 50 gives 20, 24 gives 41).
  static int DisplayTickPeriodMs(int fps);

  // Platform scale and resize hooks.
  virtual float GetPlatformWindowScale() const { return 1.f; }
  virtual void PlatformResize(bool parentHasResized) { (void)parentHasResized; }
  virtual void DrawResize() {}

  // Pictures and fonts by resource or file name. A target scale of 0 means the current backing scale,
  // rounded up. A picture that cannot be found or decoded gives a handle without a picture.
  virtual IBitmap LoadBitmap(const char* name, int nStates = 1, bool framesAreHorizontal = false,
                             int targetScale = 0);
  bool LoadFont(const char* fontID, const char* fileNameOrResID);

  // Backend loaders and text.
  virtual bool BitmapExtSupported(const char* ext) = 0;
  // Decodes a located file or embedded resource; null when it cannot be read or decoded.
  virtual std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* fileNameOrResID, int scale,
                                                   ResourceLocation location, const char* ext) = 0;
  virtual std::unique_ptr<APIBitmap> LoadAPIBitmap(const char* name, const void* data, int dataSize,
                                                   int scale) = 0;
  virtual std::unique_ptr<APIBitmap> CreateAPIBitmap(int width, int height, float scale, float drawScale,
                                                     bool cacheable = false) = 0;
  // Lays the text out in bounds (which becomes the text's box) and returns its width; 0 and an empty box
  // when the font is not loaded.
  virtual float DoMeasureText(const IText& text, const char* str, IRect& bounds) const = 0;
  virtual void DoDrawText(const IText& text, const char* str, const IRect& bounds, const IBlend* blend) = 0;

  float GetBackingPixelScale() const { return mDrawScale * mScreenScale; }

  // Controls.
  // A tag already in use refuses the control: the result is null and the control stays with the caller.
  IControl* AttachControl(std::unique_ptr<IControl>&& control, int ctrlTag = kNoTag, const char* group = "");
  IControl* GetControl(int idx) const;
  int NControls() const { return static_cast<int>(mControls.size()); }
  IControl* GetControlWithTag(int ctrlTag) const;
  int GetControlIdx(const IControl* control) const;
  void ForAllControls(const std::function<void(IControl&)>& fn);
  void SetAllControlsDirty();
  void SetAllControlsClean();
  void RemoveAllControls();
  IGEditorDelegate* GetDelegate() const { return &mDelegate; }

  // Drawing cycle, driven by the platform's display tick.
  bool IsDirty(IRectList& rects);
  void Draw(IRectList& rects);
  void DrawControl(IControl& control, const IRect& bounds, float scale);

  // Pointer and key events, positions in points.
  void OnMouseDown(const std::vector<IMouseInfo>& points);
  void OnMouseUp(const std::vector<IMouseInfo>& points);
  void OnMouseDrag(const std::vector<IMouseInfo>& points);
  bool OnMouseDblClick(float x, float y, const IMouseMod& mod);
  bool OnMouseOver(float x, float y, const IMouseMod& mod);
  void OnMouseOut();
  bool OnMouseWheel(float x, float y, const IMouseMod& mod, float delta);
  void OnDrop(const char* str, float x, float y);
  void OnDropMultiple(const std::vector<const char*>& paths, float x, float y);
  bool OnKeyDown(float x, float y, const IKeyPress& key);
  bool OnKeyUp(float x, float y, const IKeyPress& key);
  IControl* GetMouseControl(float x, float y, bool capture, bool mouseOver = false, int64_t touchID = 0);
  void ReleaseMouseCapture();
  bool ControlIsCaptured(const IControl* control) const;
  bool ControlIsCaptured() const { return !mCapturedMap.empty(); }
  void EnableMouseOver(bool enable) { mEnableMouseOver = enable; }
  bool MouseOverEnabled() const { return mEnableMouseOver; }
  IControl* GetMouseOverControl() const { return mMouseOver; }
  int GetMouseOverIdx() const { return mMouseOverIdx; }
  void SetKeyHandlerFunc(KeyHandlerFunc fn) { mKeyHandlerFunc = std::move(fn); }
  void GetMouseDownPoint(float& x, float& y) const
  {
    x = mMouseDownX;
    y = mMouseDownY;
  }
  bool CursorIsHidden() const { return mCursorHidden; }
  CursorType GetCursorType() const { return mCursorType; }

  // Size and scale.
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  float GetDrawScale() const { return mDrawScale; }
  float GetScreenScale() const { return mScreenScale; }
  IRect GetBounds() const { return {0.f, 0.f, static_cast<float>(mWidth), static_cast<float>(mHeight)}; }
  void Resize(int w, int h, float scale, bool needsPlatformResize = true);
  void SetScreenScale(float scale);
  void EndDragResize();
  // The picture reloaded by its resource name for the current pixel scale; the given one when that fails.
  IBitmap GetScaledBitmap(const IBitmap& src);
  ResizerMode GetResizerMode() const { return mResizerMode; }
  void SetResizerMode(ResizerMode mode) { mResizerMode = mode; }
  bool GetResizingInProcess() const { return mResizingInProcess; }
  void SetResizingInProcess(bool on) { mResizingInProcess = on; }
  float GetPendingSnapScale() const { return mPendingSnapScale; }
  void SetPendingSnapScale(float scale) { mPendingSnapScale = scale; }
  bool GetFreeResize() const { return mFreeResize; }
  void SetFreeResize(bool on) { mFreeResize = on; }

  // Parameter linkage and value prompts.
  void UpdateLinkedControls(IControl* control, int valIdx);
  void PromptUserInput(IControl& control, const IRect& bounds, int valIdx);
  void CreateTextEntry(IControl& control, const IText& text, const IRect& bounds, const char* str, int valIdx);
  void CommitTextEntry(const char* str);
  void ClearTextEntryTarget()
  {
    mInTextEntry = nullptr;
    mTextEntryValIdx = -1;
  }
  IControl* GetControlInTextEntry() const { return mInTextEntry; }
  void CreatePopupMenu(IControl& control, IPopupMenu& menu, const IRect& bounds, int valIdx, bool isContext);
  void SetControlValueAfterPopupMenu(IPopupMenu* menu);
  IPopupMenu& GetPromptMenu() { return mPromptPopupMenu; }

  const IRect& GetClipRect() const { return mClipRECT; }
  const IMatrix& GetTransform() const { return mTransform; }

protected:
  // The backend applies the user transform together with the draw scale and the open layer's offset.
  virtual void PathTransformSetMatrix(const IMatrix& m) = 0;
  // Clips to r (points, untransformed), replacing the previous clip.
  virtual void SetClipRegion(const IRect& r) = 0;
  // Makes the top layer's target current, or the main target when no layer is open.
  virtual void UpdateLayer() = 0;

  const std::vector<ILayerPtr>& Layers() const { return mLayers; }
  // The centre a rotated text turns about.
  static void TextRotationCentre(const IRect& textBounds, float& cx, float& cy)
  {
    cx = textBounds.MW();
    cy = textBounds.MH();
  }

  float mDrawScale;
  float mScreenScale = 1.f;
  bool mCursorHidden = false;
  CursorType mCursorType = CursorType::Arrow;

private:
  void ShowHiddenCursor();
  void BeginEdits(IControl& control);
  void EndEdits(IControl& control);

  IGEditorDelegate& mDelegate;
  GraphicsCacheUser mCacheUser;
  std::vector<std::unique_ptr<IControl>> mControls;
  std::unordered_map<int, IControl*> mCtrlTags;
  int mWidth;
  int mHeight;
  int mFPS;
  ResizerMode mResizerMode = ResizerMode::Scale;
  bool mResizingInProcess = false;
  float mPendingSnapScale = 0.f;
  bool mFreeResize = false;
  float mMouseDownX = -1.f;
  float mMouseDownY = -1.f;
  std::map<int64_t, IControl*> mCapturedMap;
  IControl* mMouseOver = nullptr;
  int mMouseOverIdx = -1;
  bool mEnableMouseOver = false;
  IControl* mInTextEntry = nullptr;
  int mTextEntryValIdx = -1;
  IControl* mInPopupMenu = nullptr;
  int mPopupMenuValIdx = -1;
  bool mIsContextMenu = false;
  IPopupMenu mPromptPopupMenu;
  KeyHandlerFunc mKeyHandlerFunc;
  IRect mClipRECT;
  IMatrix mTransform;
  std::vector<IMatrix> mTransformStack;
  std::vector<ILayerPtr> mLayers;
  // Transform, transform stack and clip of the target that was current when each open layer started.
  struct SavedDrawState
  {
    IMatrix transform;
    std::vector<IMatrix> stack;
    IRect clip;
  };
  std::vector<SavedDrawState> mLayerSavedState;
};

} // namespace ondrell::graphics
