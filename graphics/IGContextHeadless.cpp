#include "graphics/IGContextHeadless.h"

#include "graphics/IGEditorDelegate.h"

namespace ondrell::graphics {

IGContextHeadless::IGContextHeadless(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
  : IGContextCairo(dlg, w, h, fps, scale)
{
}

IGContextHeadless::~IGContextHeadless()
{
  CancelTextEntry();
  CloseWindow();
  // Controls attached without a window still go while the cursor and capture can be reset properly.
  RemoveAllControls();
}

void* IGContextHeadless::OpenWindow(void*)
{
  if (mOpen)
    CloseWindow();
  mOpen = true;
  OnViewInitialized();
  SetScreenScale(mDensity);
  GetDelegate()->LayoutUI(this);
  SetAllControlsDirty();
  GetDelegate()->OnEditorOpened();
  return this;
}

void IGContextHeadless::CloseWindow()
{
  if (!mOpen)
    return;
  OnViewDestroyed();
  mOpen = false;
}

bool IGContextHeadless::Tick()
{
  if (!ControlIsCaptured() && mDensity != GetScreenScale())
    SetScreenScale(mDensity);
  IRectList rects;
  if (!IsDirty(rects))
    return false;
  SetAllControlsClean();
  Draw(rects);
  return true;
}

void IGContextHeadless::EndFrame()
{
  IGContextCairo::EndFrame();
  ++mFramesDrawn;
}

void IGContextHeadless::HideMouseCursor(bool hide, bool lock)
{
  if (hide == mCursorHidden)
    return;
  mCursorHidden = hide;
  if (hide)
  {
    mHiddenAtX = mMouseX;
    mHiddenAtY = mMouseY;
  }
  else if (lock)
  {
    // The pointer comes back where it disappeared.
    SetMouseLocation(mHiddenAtX, mHiddenAtY);
  }
}

bool IGContextHeadless::GetTextFromClipboard(std::string& str)
{
  str = mClipboard;
  return !mClipboard.empty();
}

bool IGContextHeadless::SetTextInClipboard(const char* str)
{
  mClipboard = str ? str : "";
  return true;
}

bool IGContextHeadless::SetFilePathInClipboard(const char* path)
{
  mClipboard = path ? path : "";
  return true;
}

int IGContextHeadless::ShowMessageBox(const char*, const char*, int, std::function<void(int)> completion)
{
  ReleaseMouseCapture();
  // No dialog can be shown: the answer of a box that failed to open.
  constexpr int kFailed = 0;
  if (completion)
    completion(kFailed);
  return kFailed;
}

void IGContextHeadless::PromptForFile(std::string& fileName, std::string& path, int, const char*,
                                      std::function<void(const std::string&, const std::string&)> completion)
{
  fileName.clear();
  if (completion)
    completion(fileName, path);
  ReleaseMouseCapture();
}

void IGContextHeadless::PromptForDirectory(std::string& dir,
                                           std::function<void(const std::string&, const std::string&)> completion)
{
  dir.clear();
  if (completion)
    completion(std::string(), dir);
  ReleaseMouseCapture();
}

bool IGContextHeadless::PromptForColor(IColor&, const char*, std::function<void(const IColor&)>)
{
  ReleaseMouseCapture();
  return false;
}

void IGContextHeadless::CreatePlatformTextEntry(int paramIdx, const IText& text, const IRect& bounds, int length,
                                                const char* str)
{
  mLastTextEntry = TextEntryRequest{paramIdx, text, bounds, length, str ? str : ""};
  mTextEntryOpen = true;
}

void IGContextHeadless::CancelTextEntry()
{
  if (!mTextEntryOpen)
    return;
  mTextEntryOpen = false;
  ClearTextEntryTarget();
}

void IGContextHeadless::SubmitTextEntry(const char* str)
{
  if (!mTextEntryOpen)
    return;
  mTextEntryOpen = false;
  std::string text = str ? str : "";
  if (mLastTextEntry.length > 0 && text.size() > static_cast<size_t>(mLastTextEntry.length))
    text.resize(static_cast<size_t>(mLastTextEntry.length));
  CommitTextEntry(text.c_str());
}

IPopupMenu* IGContextHeadless::CreatePlatformPopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync)
{
  isAsync = false;
  ++mMenusShown;
  mLastMenuBounds = bounds;
  const int chosen = mMenuChooser ? mMenuChooser(menu) : -1;
  menu.SetChosenItemIdx(chosen >= 0 && chosen < menu.NItems() ? chosen : -1);
  return menu.GetChosenItemIdx() >= 0 ? &menu : nullptr;
}

} // namespace ondrell::graphics
