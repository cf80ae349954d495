#pragma once

// The editor's window on Windows: a child window of class "OndrellWndClass" created inside the window the host
// gives. Its window procedure turns the system's messages into the graphics context's pointer, wheel, key and drop
// calls; a display tick (a thread that waits for the display's vertical blank on Windows 8 and later, a 15 ms
// window timer before that) repaints what became dirty, and the frame drawn by the Cairo backend goes to the window
// with StretchDIBits. It keeps the screen scale in step with the window's dots per inch, shows native text fields
// and pop-up menus, moves and hides the pointer, and offers the clipboard, drops, dialogs and links of the system.
//
// No Windows header is included here (windows.h renames DrawText and LoadBitmap), only the handle types are named.

#include "graphics/IGContextCairo.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct HWND__;
struct HINSTANCE__;
struct HFONT__;
struct HDROP__;

namespace ondrell {
class IParam;
}

namespace ondrell::graphics {

class WinVBlankThread;

// Threads: everything on the thread that opens the window (the host's user-interface thread); the vertical-blank
// thread only posts tick messages. Owns the editor window, its tick source, the text field with its font, the drop
// target registration and the OLE initialisation it made.
class IGContextWin : public IGContextCairo
{
public:
  static constexpr const wchar_t* kWindowClassName = L"OndrellWndClass";
  static constexpr const wchar_t* kWindowTitle = L"Ondrell";
  static constexpr uintptr_t kDisplayTimerId = 2;
  static constexpr int kTextFieldId = 99;
  // Mouse messages the system made from pen or touch input carry this signature in their extra information.
  static constexpr uintptr_t kPenSignatureMask = 0xFFFFFF00;
  static constexpr uintptr_t kPenSignature = 0xFF515700;
  // The text a field can commit: its read buffer holds 256 UTF-16 units with the terminating NUL.
  static constexpr int kTextFieldBufferUnits = 256;

  enum TextEntryState : int { kTextIdle = 0, kTextFocused = 1, kTextRedrawn = 2, kTextCancel = 3, kTextCommit = 4 };

  IGContextWin(IGEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  ~IGContextWin() override;

  // parent is the host's HWND. Creates the child window (int(density) x int(size x draw scale) pixels at the
  // parent's top-left, or the old window's place and size when one is open), registers the drop target, lays out
  // the controls and tells the delegate the editor opened. A parent that is not a window gets no window: the
  // layout still runs and the result is null.
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetWindow() override;

  // The module this code is linked into (the plug-in library): its window class and windows belong to it.
  HINSTANCE__* ModuleHandle() const { return mModule; }

  void EndFrame() override;

  void GetMouseLocation(float& x, float& y) const override;
  void HideMouseCursor(bool hide = true, bool lock = true) override;
  void MoveMouseCursor(float x, float y) override;
  CursorType SetMouseCursor(CursorType type = CursorType::Arrow) override;
  void CancelTextEntry() override { mTextEntryState = kTextCancel; }

  bool GetTextFromClipboard(std::string& str) override;
  bool SetTextInClipboard(const char* str) override;
  bool SetFilePathInClipboard(const char* path) override;
  bool InitiateExternalFileDragDrop(const char* path) override;
  int ShowMessageBox(const char* str, const char* caption, int type,
                     std::function<void(int)> completion = nullptr) override;
  void PromptForFile(std::string& fileName, std::string& path, int action = 0, const char* ext = "",
                     std::function<void(const std::string&, const std::string&)> completion = nullptr) override;
  void PromptForDirectory(std::string& dir,
                          std::function<void(const std::string&, const std::string&)> completion = nullptr) override;
  bool PromptForColor(IColor& color, const char* str = "",
                      std::function<void(const IColor&)> completion = nullptr) override;
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
               const char* errMsgOnFailure = nullptr) override;
  bool RevealPathInExplorerOrFinder(const char* path, bool select = false) override;
  const char* GetPlatformAPIStr() override { return "win32"; }

  // A native edit control over bounds; Enter or leaving it commits, Escape cancels (at the next display tick).
  void CreatePlatformTextEntry(int paramIdx, const IText& text, const IRect& bounds, int length,
                               const char* str) override;
  // A native pop-up menu at the lower-left corner of bounds; waits for the choice (isAsync is false).
  IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync) override;

  float GetPlatformWindowScale() const override { return mScreenScale; }
  // Brings the window to the editor's pixel size; unless the host already did, its window (and that window's
  // parent when it is a child window too) grows by the same amount.
  void PlatformResize(bool parentHasResized) override;

  // One display tick: n is the tick counter a vertical-blank tick carries, 0 for the window timer.
  void OnDisplayTick(uint32_t n);
  // Files dropped at (x, y) points: one goes to OnDrop, several to OnDropMultiple.
  void DropFiles(const std::vector<std::string>& paths, float x, float y);

  // Whether ticks come from the vertical-blank thread (Windows 8 and later) or the window timer.
  bool VBlankMode() const { return mVBlankMode; }
  // The vertical-blank thread of the open window, or null.
  const WinVBlankThread* VBlankThread() const { return mVBlankThread.get(); }
  int GetTextEntryState() const { return mTextEntryState; }
  HWND__* GetTextField() const { return mTextField; }
  HWND__* GetHostMainWindow() const { return mHostMainWindow; }
  // The whole-number screen scale for a resolution: 96 dpi gives exactly 1, others dpi / 96 rounded with halves
  // away from zero; 1 for 0 dpi (or any resolution below 48), which no display has.
  static float DensityFromDpi(unsigned dpi);
  // The window's density from GetDpiForWindow (looked up by name once per process); 1 without it.
  static float WindowPixelDensity(HWND__* window);
  // The text a menu item shows: numbered for prefix modes 1 to 3 and cut to 50 characters, each '&' doubled.
  static std::string MenuItemText(int prefix, int index, const std::string& text);

protected:
  // Chooses the tick source of windows opened later: the vertical-blank thread with its functions looked up in
  // library, or the window timer.
  void SetTickSource(bool vblankMode, std::wstring library);

private:
  static intptr_t __stdcall WndProc(HWND__* hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam);
  static intptr_t __stdcall TextFieldProc(HWND__* hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam);

  void OnCreate(HWND__* hwnd);
  intptr_t HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam);
  intptr_t HandleTextFieldMessage(unsigned msg, uintptr_t wParam, intptr_t lParam);
  // Stops the tick source and undoes what the window holds (drop target, OLE, text field); the window itself stays.
  void ReleaseWindowResources();
  IMouseInfo Sample(intptr_t lParam, uintptr_t wParam);
  void HandleMouseMove(uintptr_t wParam, intptr_t lParam);
  void HandleWheel(uintptr_t wParam, intptr_t lParam);
  // The files of a WM_DROPFILES drop; finishes the drop.
  void HandleDropFiles(HDROP__* drop);
  intptr_t HandleKey(unsigned msg, uintptr_t wParam, intptr_t lParam);
  void Paint();
  void CloseTextField();
  void CommitTextField();
  // A size of the editor in window pixels: int(points x draw scale) x screen scale.
  float WindowPixels(int points) const;
  void InvalidateWholeWindow();
  void ReleaseCaptureAndShowCursor();
  void FindHostMainWindow();
  bool WindowUsable() const { return mWindow && !mWindowGone; }

  HINSTANCE__* mModule = nullptr;
  HWND__* mWindow = nullptr;
  HWND__* mParent = nullptr;
  HWND__* mTextField = nullptr;
  intptr_t mTextFieldPreviousProc = 0;
  HFONT__* mTextFieldFont = nullptr;
  bool mOleInitialized = false;
  bool mDropTargetRegistered = false;
  // The window was destroyed by someone else (with the host's window); only the bookkeeping of closing remains.
  bool mWindowGone = false;
  bool mTimerRunning = false;

  bool mVBlankMode = false;
  std::wstring mVBlankLibrary = L"gdi32.dll";
  std::unique_ptr<WinVBlankThread> mVBlankThread;
  uint32_t mNextAllowedTick = 0;
  // The density the tick applied last: a scale the host set stays until the display's resolution changes.
  float mAppliedDensity = 1.f;

  const IParam* mTextEntryParam = nullptr;
  IText mTextEntryStyle;
  IRect mTextEntryRect;
  int mTextEntryState = kTextIdle;

  bool mCursorLock = false;
  bool mTabletInput = false;
  float mLastX = 0.f;
  float mLastY = 0.f;
  float mHiddenAtX = 0.f;
  float mHiddenAtY = 0.f;
  // A key this window passed to the host's window and that came back to it is not passed on again.
  bool mForwardingKey = false;
  // Expires when the object is destroyed: code that called out to the host checks it before going on.
  std::shared_ptr<char> mLifetime = std::make_shared<char>();

  HWND__* mHostMainWindow = nullptr;
  std::string mHostMainWindowClass;
};

} // namespace ondrell::graphics
