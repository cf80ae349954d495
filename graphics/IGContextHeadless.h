#pragma once

// A platform class without a window, for tests, tools and benchmarks: it implements the platform operations in
// memory (pointer position, cursor state, clipboard, text entry and menus answered by a chooser the caller
// sets) and drives redrawing with an explicit display tick. The frame in the pixel buffer can be written to a
// PNG file.

#include "graphics/IGContextCairo.h"

#include <functional>
#include <string>

namespace ondrell::graphics {

// Threads: one thread, the one that plays the editor's window thread. Owns what its bases own.
class IGContextHeadless : public IGContextCairo
{
public:
  // The menu chooser receives each menu the context shows and returns the index chosen, or -1 for none.
  using MenuChooser = std::function<int(const IPopupMenu& menu)>;

  struct TextEntryRequest
  {
    int paramIdx = -1;
    IText text;
    IRect bounds;
    int length = 0;
    std::string str;
  };

  IGContextHeadless(IGEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  ~IGContextHeadless() override;

  // Opens the (invisible) window: builds the surface, applies the display density as screen scale, lets the
  // delegate lay out the controls and tells it the editor is open. Returns a non-null handle.
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetWindow() override { return mOpen ? this : nullptr; }

  // One display tick: applies a changed display density while no control holds the pointer, then repaints
  // the dirty regions. True when something was drawn.
  bool Tick();
  // The density a window on this display would report (a whole number; 1 is 96 dpi).
  void SetDisplayDensity(float density) { mDensity = density; }
  int FramesDrawn() const { return mFramesDrawn; }
  // Writes the current frame as a PNG file.
  bool WriteFramePNG(const char* path) { return WritePNG(path); }

  void GetMouseLocation(float& x, float& y) const override
  {
    x = mMouseX;
    y = mMouseY;
  }
  void SetMouseLocation(float x, float y)
  {
    mMouseX = x;
    mMouseY = y;
  }
  void HideMouseCursor(bool hide = true, bool lock = true) override;
  void MoveMouseCursor(float x, float y) override { SetMouseLocation(x, y); }
  void EndFrame() override;

  bool GetTextFromClipboard(std::string& str) override;
  bool SetTextInClipboard(const char* str) override;
  bool SetFilePathInClipboard(const char* path) override;
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
  const char* GetPlatformAPIStr() override { return "headless"; }

  // Text entry: the request is kept until it is submitted or cancelled.
  void CreatePlatformTextEntry(int paramIdx, const IText& text, const IRect& bounds, int length,
                               const char* str) override;
  void CancelTextEntry() override;
  // Accepts the open text field with this text (cut to the field's length limit).
  void SubmitTextEntry(const char* str);
  bool TextEntryIsOpen() const { return mTextEntryOpen; }
  const TextEntryRequest& LastTextEntry() const { return mLastTextEntry; }

  IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync) override;
  void SetMenuChooser(MenuChooser chooser) { mMenuChooser = std::move(chooser); }
  int MenusShown() const { return mMenusShown; }
  const IRect& LastMenuBounds() const { return mLastMenuBounds; }

  float GetPlatformWindowScale() const override { return mScreenScale; }

private:
  bool mOpen = false;
  float mDensity = 1.f;
  int mFramesDrawn = 0;
  float mMouseX = 0.f;
  float mMouseY = 0.f;
  float mHiddenAtX = 0.f;
  float mHiddenAtY = 0.f;
  std::string mClipboard;
  bool mTextEntryOpen = false;
  TextEntryRequest mLastTextEntry;
  MenuChooser mMenuChooser;
  int mMenusShown = 0;
  IRect mLastMenuBounds;
};

} // namespace ondrell::graphics
