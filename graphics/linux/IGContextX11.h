#pragma once

// The editor's window on Linux: an X11 child window created inside the window the host gives, on a display
// connection of its own. The frame drawn by the Cairo backend goes to the window from the context's BGRA buffer;
// pointer, wheel, key, crossing and expose events become the graphics context's calls; a display tick on the
// host's main thread (a main-thread Timer, which the format adapters pump) handles waiting events and repaints
// what became dirty. The screen scale follows the X resource Xft.dpi.
//
// No X11 header is included here, so code that only makes the context does not see them.

#include "core/Timer.h"
#include "graphics/IGContextCairo.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

struct _XDisplay;
struct _XGC;
union _XEvent;

namespace ondrell::graphics {

// Threads: all on the host's main thread, the display tick included. Owns the connection, window, X resources, tick.
class IGContextX11 : public IGContextCairo
{
public:
  // An X resource id (window, cursor, atom, colormap).
  using XId = unsigned long;

  // Double clicks: a second press of the same button within this time and this distance (pixels, either way) of
  // the first; the system defaults of the other window host.
  static constexpr unsigned long kDoubleClickTimeMs = 500;
  static constexpr int kDoubleClickDistance = 2;

  IGContextX11(IGEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  ~IGContextX11() override;

  // parent is the host's X window id. Opens a display connection (from $DISPLAY) and a child window of
  // int(density) x int(size x draw scale) pixels at the parent's top-left, lays out the controls and starts the
  // display tick. Without a parent, a connection or a window the controls are still laid out and the editor is
  // told it opened, but the result is null and nothing is left running.
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  // The child window's id, or null.
  void* GetWindow() override;

  int GetPlatformEventFd() const override;
  void ProcessPlatformEvents() override;
  // One display tick: handles waiting events, applies a changed display density while no button is held, and
  // repaints the dirty regions. True when something was drawn.
  bool OnDisplayTick();

  void GetMouseLocation(float& x, float& y) const override;
  void HideMouseCursor(bool hide = true, bool lock = true) override;
  void MoveMouseCursor(float x, float y) override;
  CursorType SetMouseCursor(CursorType type = CursorType::Arrow) override;

  // Clipboard, dragging out, dialogs and links are not part of this window host: each gives the answer of a
  // service that failed or was cancelled.
  bool GetTextFromClipboard(std::string& str) override;
  bool SetTextInClipboard(const char*) override { return false; }
  bool SetFilePathInClipboard(const char*) override { return false; }
  bool InitiateExternalFileDragDrop(const char*) override { return false; }
  int ShowMessageBox(const char* str, const char* caption, int type,
                     std::function<void(int)> completion = nullptr) override;
  void PromptForFile(std::string& fileName, std::string& path, int action = 0, const char* ext = "",
                     std::function<void(const std::string&, const std::string&)> completion = nullptr) override;
  void PromptForDirectory(std::string& dir,
                          std::function<void(const std::string&, const std::string&)> completion = nullptr) override;
  bool PromptForColor(IColor& color, const char* str = "",
                      std::function<void(const IColor&)> completion = nullptr) override;
  bool OpenURL(const char*, const char* = nullptr, const char* = nullptr, const char* = nullptr) override
  {
    return false;
  }
  bool RevealPathInExplorerOrFinder(const char*, bool = false) override { return false; }
  const char* GetPlatformAPIStr() override { return "x11"; }
  // There are no native text fields or menus: a text entry ends at once as if cancelled, a menu chooses nothing.
  void CreatePlatformTextEntry(int paramIdx, const IText& text, const IRect& bounds, int length,
                               const char* str) override;
  IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync) override;

  float GetPlatformWindowScale() const override { return mScreenScale; }
  // Brings the child window to the editor's pixel size; unless the host already did, its window (and that
  // window's parent, when the host's window is not a top-level one) grows by the same amount.
  void PlatformResize(bool parentHasResized) override;

  // The whole-number screen scale for a resolution in dots per inch: 96 gives exactly 1, others dpi / 96 rounded
  // with halves away from zero, at least 1; 1 for a resolution that is not a positive number.
  static float DensityFromDpi(double dpi);
  // Xft.dpi from the text of an X resource database (the root window's RESOURCE_MANAGER); 0 when it is not
  // there or not a number.
  static double DpiFromResources(const char* resources);

private:
  bool OpenDisplay();
  void CloseDisplay();
  // Whether the server has closed the connection (nothing is read from it).
  bool ConnectionClosed() const;
  bool CreateChildWindow(XId parent, int x, int y, int w, int h);
  float ReadDensity();
  void HandleEvent(_XEvent& event);
  void HandleButtonPress(_XEvent& event);
  void HandleButtonRelease(_XEvent& event);
  void HandleMotion(_XEvent& event);
  void HandleKey(_XEvent& event);
  void ForwardKeyToHost(_XEvent& event);
  IMouseInfo Sample(int px, int py, unsigned state);
  void Paint(std::vector<IRect>& pixelRects);
  void CopyToWindow(const IRect& pixelRect);
  void PaintExposed();
  void DefineCursor();
  XId CursorFor(CursorType type);
  void WarpPointer(float x, float y);
  bool IsTopLevel(XId window);

  _XDisplay* mDisplay = nullptr;
  // Set by Xlib when the connection breaks; the window is then gone and only the cleanup remains.
  bool mDisplayDead = false;
  XId mParent = 0;
  XId mWindow = 0;
  XId mRoot = 0;
  XId mColormap = 0;
  bool mOwnColormap = false;
  _XGC* mGC = nullptr;
  // The host destroyed the window (with its own); closing must not destroy it again.
  bool mWindowDestroyed = false;
  // The root window whose RESOURCE_MANAGER property holds the resources (Xft.dpi among them).
  XId mResourceRoot = 0;
  XId mWMStateAtom = 0;

  std::unique_ptr<Timer> mTickTimer;
  // Density of the display, from Xft.dpi (read again when the root window's resources change), and the density
  // the tick last applied.
  float mDensity = 1.f;
  float mAppliedDensity = 1.f;

  // Pointer state: a button press in the window holds the pointer until its release (the server's own grab);
  // whether a leave must be reported; the last pointer position and the hidden-at position, in points.
  bool mCaptured = false;
  bool mLeaveTracked = false;
  float mLastX = 0.f;
  float mLastY = 0.f;
  float mHiddenAtX = 0.f;
  float mHiddenAtY = 0.f;
  bool mCursorLock = false;
  // The last press that may begin a double click: its button (0 after a double click), server time and position.
  unsigned mClickButton = 0;
  unsigned long mClickTime = 0;
  int mClickX = 0;
  int mClickY = 0;

  std::map<int, XId> mCursors;
  XId mBlankCursor = 0;
  // Exposed areas waiting to be painted, in pixels.
  std::vector<IRect> mExposed;
};

} // namespace ondrell::graphics
