#include "graphics/win/IGContextWin.h"

#include "core/IParam.h"
#include "graphics/IGEditorDelegate.h"
#include "graphics/win/WinApi.h"
#include "graphics/win/WinClipboard.h"
#include "graphics/win/WinDialogs.h"
#include "graphics/win/WinDragSource.h"
#include "graphics/win/WinDropTarget.h"
#include "graphics/win/WinFileList.h"
#include "graphics/win/WinFont.h"
#include "graphics/win/WinShell.h"
#include "graphics/win/WinText.h"
#include "graphics/win/WinVBlankThread.h"

#include <ole2.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <new>

namespace ondrell::graphics {

namespace {

constexpr DWORD kWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kTextFieldStyle =
  ES_MULTILINE | ES_AUTOHSCROLL | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
// A dropped path from WM_DROPFILES is read into this many UTF-16 units and kept to as many UTF-8 bytes.
constexpr size_t kDropPathUnits = 1024;
// Painting takes at most this many rectangles of a complex update region (the 32-byte header and 62 rectangles).
constexpr DWORD kRegionDataBytes = 1024;
constexpr DWORD kMaxRegionRects = (kRegionDataBytes - sizeof(RGNDATAHEADER)) / sizeof(RECT);
constexpr size_t kMenuItemMaxCharacters = 50;
// Menus this long never get column breaks.
constexpr int kMaxItemsForColumns = 160;

static_assert(kMaxRegionRects == 62);

// The process-wide count of open editor windows, which keeps the window class registered while it is above 0.
std::mutex& WindowClassLock()
{
  static std::mutex lock;
  return lock;
}
int gWindowCount = 0;

// System cursors by CursorType; any other type shows the arrow.
constexpr WORD kCursorIds[] = {
  32512, // Arrow: IDC_ARROW
  32513, // IBeam: IDC_IBEAM
  32514, // Wait: IDC_WAIT
  32515, // Cross: IDC_CROSS
  32516, // UpArrow: IDC_UPARROW
  32642, // SizeNWSE: IDC_SIZENWSE
  32643, // SizeNESW: IDC_SIZENESW
  32644, // SizeWE: IDC_SIZEWE
  32645, // SizeNS: IDC_SIZENS
  32646, // SizeAll: IDC_SIZEALL
  32648, // No: IDC_NO
  32649, // Hand: IDC_HAND
  32650, // AppStarting: IDC_APPSTARTING
  32651, // Help: IDC_HELP
};

HMODULE ThisModule()
{
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

bool IsWindows8OrLater()
{
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  version.dwMajorVersion = 6;
  version.dwMinorVersion = 2;
  version.wServicePackMajor = 0;
  DWORDLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

bool KeyDown(int virtualKey) { return (GetKeyState(virtualKey) & 0x8000) != 0; }

RECT PointsToPixels(const IRect& r, float s)
{
  return {static_cast<LONG>(std::floor(r.L * s)), static_cast<LONG>(std::floor(r.T * s)),
          static_cast<LONG>(std::ceil(r.R * s)), static_cast<LONG>(std::ceil(r.B * s))};
}

IRect PixelsToPoints(const RECT& r, float s)
{
  return {std::floor(static_cast<float>(r.left) / s), std::floor(static_cast<float>(r.top) / s),
          std::ceil(static_cast<float>(r.right) / s), std::ceil(static_cast<float>(r.bottom) / s)};
}

COLORREF ColourRef(const IColor& c)
{
  const auto channel = [](int v) { return static_cast<BYTE>(std::clamp(v, 0, 255)); };
  return RGB(channel(c.R), channel(c.G), channel(c.B));
}

// A character of the system's ANSI code page (what ToAscii gives) as UTF-8.
std::string AnsiCharToUtf8(char c)
{
  if (static_cast<unsigned char>(c) < 0x80)
    return std::string(1, c);
  wchar_t wide = 0;
  if (MultiByteToWideChar(CP_ACP, 0, &c, 1, &wide, 1) != 1)
    return {};
  return WideToUtf8(std::wstring_view(&wide, 1));
}

// One menu level as the native menu numbers its items: identifiers first ... first + count - 1.
struct MenuRange
{
  IPopupMenu* menu;
  int first;
};

HMENU BuildNativeMenu(IPopupMenu& menu, int& counter, std::vector<MenuRange>& ranges)
{
  HMENU native = CreatePopupMenu();
  if (!native)
    return nullptr;
  menu.SetChosenItemIdx(-1);
  const int first = counter;
  const int count = menu.NItems();
  counter += count;
  ranges.push_back({&menu, first});
  const int columnLength = menu.GetColumnLength();
  for (int i = 0; i < count; ++i)
  {
    const IPopupMenu::Item* item = menu.GetItem(i);
    if (item->GetIsSeparator())
    {
      AppendMenuW(native, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const std::wstring text = Utf8ToWide(IGContextWin::MenuItemText(menu.GetPrefix(), i, item->GetText()));
    UINT flags = MF_STRING;
    if (count < kMaxItemsForColumns && columnLength > 0 && i > 0 && i % columnLength == 0)
      flags |= MF_MENUBARBREAK;
    if (item->GetFlags() & IPopupMenu::kGreyed)
      flags |= MF_GRAYED;
    if (item->GetFlags() & IPopupMenu::kDisabled)
      flags |= MF_DISABLED;
    if (item->GetFlags() & IPopupMenu::kChecked)
      flags |= MF_CHECKED;
    if (IPopupMenu* submenu = item->GetSubmenu())
    {
      if (HMENU nativeSubmenu = BuildNativeMenu(*submenu, counter, ranges))
        AppendMenuW(native, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(nativeSubmenu), text.c_str());
    }
    else
    {
      AppendMenuW(native, flags, static_cast<UINT_PTR>(first + i), text.c_str());
    }
  }
  return native;
}

} // namespace

// ---- Construction ----------------------------------------------------------------------------------------

IGContextWin::IGContextWin(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
  : IGContextCairo(dlg, w, h, fps, scale), mModule(ThisModule()), mVBlankMode(IsWindows8OrLater())
{
}

IGContextWin::~IGContextWin()
{
  CloseTextField();
  CloseWindow();
  // Controls laid out without a window go while the cursor and capture can still be reset here.
  RemoveAllControls();
  mLifetime.reset();
}

void IGContextWin::SetTickSource(bool vblankMode, std::wstring library)
{
  mVBlankMode = vblankMode;
  mVBlankLibrary = std::move(library);
}

// ---- Scale -----------------------------------------------------------------------------------------------

float IGContextWin::DensityFromDpi(unsigned dpi)
{
  if (dpi == 96 || dpi == 0)
    return 1.f;
  // Halves away from zero; a resolution below 48 dpi would round to 0.
  return std::max(1.f, std::round(static_cast<float>(dpi) / 96.f));
}

float IGContextWin::WindowPixelDensity(HWND window)
{
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  // Looked up once per process; user32 stays loaded with the reference taken here.
  static const GetDpiForWindowFn getDpi = [] {
    HMODULE user32 = LoadLibraryW(L"user32.dll");
    return user32 ? reinterpret_cast<GetDpiForWindowFn>(
                      reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")))
                  : nullptr;
  }();
  if (!getDpi || !window)
    return 1.f;
  return DensityFromDpi(getDpi(window));
}

// ---- Opening and closing ---------------------------------------------------------------------------------

void* IGContextWin::OpenWindow(void* parentHandle)
{
  HWND parent = static_cast<HWND>(parentHandle);
  // Not a window (null, destroyed or made up): no child window can live in it.
  const bool parentUsable = parent && IsWindow(parent);

  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  bool keepGeometry = false;
  if (mWindow)
  {
    if (WindowUsable())
    {
      RECT windowRect{};
      HWND oldParent = GetParent(mWindow);
      if (oldParent && GetWindowRect(mWindow, &windowRect))
      {
        keepGeometry = true;
        w = windowRect.right - windowRect.left;
        h = windowRect.bottom - windowRect.top;
        // In the parent's client coordinates, where the new window is placed (a framed parent's window
        // rectangle starts at its frame).
        MapWindowPoints(HWND_DESKTOP, oldParent, reinterpret_cast<POINT*>(&windowRect), 2);
        x = windowRect.left;
        y = windowRect.top;
      }
    }
    CloseWindow();
  }

  mParent = parent;
  const float density = parentUsable ? WindowPixelDensity(parent) : 1.f;
  const int d = static_cast<int>(density);
  if (!keepGeometry)
  {
    w = d * static_cast<int>(static_cast<float>(Width()) * mDrawScale);
    h = d * static_cast<int>(static_cast<float>(Height()) * mDrawScale);
  }

  if (parentUsable)
  {
    {
      std::lock_guard<std::mutex> lock(WindowClassLock());
      if (gWindowCount == 0)
      {
        WNDCLASSW windowClass{};
        windowClass.style = CS_DBLCLKS | CS_OWNDC;
        windowClass.lpfnWndProc = reinterpret_cast<WNDPROC>(&WndProc);
        windowClass.hInstance = mModule;
        windowClass.lpszClassName = kWindowClassName;
        // A registration left behind by an earlier copy of this module is used as it is.
        RegisterClassW(&windowClass);
      }
      ++gWindowCount;
    }
    mWindowGone = false;
    mWindow = CreateWindowExW(0, kWindowClassName, kWindowTitle, kWindowStyle, x, y, w, h, parent, nullptr, mModule,
                              this);
    if (mWindow && SUCCEEDED(OleInitialize(nullptr)))
    {
      mOleInitialized = true;
      if (auto* target = new (std::nothrow) IGContextWinFileDropTarget(mWindow, this))
      {
        mDropTargetRegistered = SUCCEEDED(RegisterDragDrop(mWindow, target));
        // The registration holds the target from here on.
        target->Release();
      }
    }
  }

  DrawResize();
  mAppliedDensity = static_cast<float>(d);
  SetScreenScale(static_cast<float>(d));
  GetDelegate()->LayoutUI(this);
  if (!mWindow)
  {
    if (parentUsable)
    {
      std::lock_guard<std::mutex> lock(WindowClassLock());
      if (--gWindowCount == 0)
        UnregisterClassW(kWindowClassName, mModule);
    }
  }
  else
  {
    SetAllControlsDirty();
  }
  GetDelegate()->OnEditorOpened();
  return GetWindow();
}

void IGContextWin::OnCreate(HWND hwnd)
{
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (mVBlankMode)
  {
    auto thread = std::make_unique<WinVBlankThread>(hwnd, mVBlankLibrary.c_str());
    if (thread->Started())
      mVBlankThread = std::move(thread);
  }
  // Also when the thread could not be started: the timer keeps the editor drawing.
  if (!mVBlankThread)
    mTimerRunning = SetTimer(hwnd, kDisplayTimerId, static_cast<UINT>(DisplayTickPeriodMs(FPS())), nullptr) != 0;
  SetFocus(hwnd);
  DragAcceptFiles(hwnd, TRUE);
}

void IGContextWin::ReleaseWindowResources()
{
  mVBlankThread.reset();
  mNextAllowedTick = 0;
  if (mTimerRunning)
  {
    KillTimer(mWindow, kDisplayTimerId);
    mTimerRunning = false;
  }
  CloseTextField();
  if (mDropTargetRegistered)
    RevokeDragDrop(mWindow);
  if (mOleInitialized)
    OleUninitialize();
  mDropTargetRegistered = false;
  mOleInitialized = false;
}

void IGContextWin::CloseWindow()
{
  if (!mWindow)
    return;
  if (!mWindowGone)
    ReleaseWindowResources();
  RemoveAllControls();
  if (!mWindowGone)
    DestroyWindow(mWindow);
  mWindow = nullptr;
  mWindowGone = false;
  mTabletInput = false;
  mCursorLock = false;
  std::lock_guard<std::mutex> lock(WindowClassLock());
  if (gWindowCount > 0 && --gWindowCount == 0)
    UnregisterClassW(kWindowClassName, mModule);
}

void* IGContextWin::GetWindow()
{
  return WindowUsable() ? mWindow : nullptr;
}

// ---- Window procedure ------------------------------------------------------------------------------------

intptr_t IGContextWin::WndProc(HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam)
{
  auto* self = reinterpret_cast<IGContextWin*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_CREATE)
  {
    // Only the creation itself: a WM_CREATE sent to a window that is set up already changes nothing.
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    if (!self && create && create->lpCreateParams)
      static_cast<IGContextWin*>(create->lpCreateParams)->OnCreate(hwnd);
    return 0;
  }
  if (!self)
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY)
  {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (hwnd == self->mWindow)
      self->mWindowGone = true;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  if (hwnd != self->mWindow)
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->HandleMessage(msg, wParam, lParam);
}

intptr_t IGContextWin::HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam)
{
  HWND window = mWindow;
  if (msg == WM_DESTROY)
  {
    // Destroyed with the host's window before the editor was closed: nothing may tick or wait for drops any more.
    ReleaseWindowResources();
    return 0;
  }
  if (msg == WM_CTLCOLOREDIT)
  {
    if (!mTextField || reinterpret_cast<HWND>(lParam) != mTextField || !wParam)
      return DefWindowProcW(window, msg, wParam, lParam);
    HDC dc = reinterpret_cast<HDC>(wParam);
    const COLORREF background = ColourRef(mTextEntryStyle.textEntryBGColor);
    SetBkColor(dc, background);
    SetTextColor(dc, ColourRef(mTextEntryStyle.textEntryFGColor));
    SetBkMode(dc, OPAQUE);
    SetDCBrushColor(dc, background);
    return reinterpret_cast<intptr_t>(GetStockObject(DC_BRUSH));
  }
  if (mTextField && mTextEntryState == kTextFocused)
  {
    // The field has the keyboard: the editor neither draws nor takes input until the field gives it up.
    if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN)
    {
      mTextEntryState = kTextCancel;
      return 0;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
  }
  if ((msg >= WM_MOUSEFIRST && msg <= WM_MBUTTONDBLCLK) || msg == WM_MOUSEHOVER || msg == WM_MOUSELEAVE)
  {
    mTabletInput = (static_cast<uintptr_t>(GetMessageExtraInfo()) & kPenSignatureMask) == kPenSignature;
    if (mTabletInput)
      mCursorLock = false;
  }

  switch (msg)
  {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ERASEBKGND:
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_CLOSE:
      CloseWindow();
      return 0;
    case WM_SETCURSOR:
      SetMouseCursor(GetCursorType());
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
    case WM_KEYUP:
      return HandleKey(msg, wParam, lParam);
    case WM_TIMER:
      if (wParam == kDisplayTimerId)
        OnDisplayTick(0);
      return 0;
    case WinVBlankThread::kTickMessage:
      OnDisplayTick(static_cast<uint32_t>(wParam));
      return 0;
    case WM_MOUSEMOVE:
      if (!mTabletInput)
        HandleMouseMove(wParam, lParam);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (mTabletInput)
        return 0;
      if (mTextField)
      {
        mTextEntryState = kTextCommit;
        return 0;
      }
      SetFocus(window);
      SetCapture(window);
      OnMouseDown({Sample(lParam, wParam)});
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      // The middle button's release too: the press captured the pointer and must not leave a control holding it.
      ReleaseCapture();
      OnMouseUp({Sample(lParam, wParam)});
      return 0;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    {
      if (mTabletInput)
        return 0;
      const IMouseInfo sample = Sample(lParam, wParam);
      if (OnMouseDblClick(sample.x, sample.y, sample.ms))
        SetCapture(window);
      return 0;
    }
    case WM_MOUSEWHEEL:
      if (mTextField)
        mTextEntryState = kTextCancel;
      else
        HandleWheel(wParam, lParam);
      return 0;
    case WM_DROPFILES:
      HandleDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_MOUSELEAVE:
      OnMouseOut();
      return 0;
    default:
      return DefWindowProcW(window, msg, wParam, lParam);
  }
}

IMouseInfo IGContextWin::Sample(intptr_t lParam, uintptr_t wParam)
{
  const float s = GetBackingPixelScale();
  IMouseInfo info;
  info.x = static_cast<float>(GET_X_LPARAM(lParam)) / s;
  info.y = static_cast<float>(GET_Y_LPARAM(lParam)) / s;
  mLastX = info.x;
  mLastY = info.y;
  info.ms.L = (wParam & MK_LBUTTON) != 0;
  info.ms.R = (wParam & MK_RBUTTON) != 0;
  info.ms.S = (wParam & MK_SHIFT) != 0;
  info.ms.C = (wParam & MK_CONTROL) != 0;
  info.ms.A = KeyDown(VK_MENU);
  return info;
}

void IGContextWin::HandleMouseMove(uintptr_t wParam, intptr_t lParam)
{
  if (!(wParam & (MK_LBUTTON | MK_RBUTTON)))
  {
    const IMouseInfo sample = Sample(lParam, wParam);
    if (OnMouseOver(sample.x, sample.y, sample.ms))
    {
      TRACKMOUSEEVENT track{};
      track.cbSize = sizeof(track);
      track.dwFlags = TME_LEAVE;
      track.hwndTrack = mWindow;
      track.dwHoverTime = HOVER_DEFAULT;
      TrackMouseEvent(&track);
    }
    return;
  }
  if (GetCapture() != mWindow || GetControlInTextEntry())
    return;
  const float oldX = mLastX;
  const float oldY = mLastY;
  IMouseInfo sample = Sample(lParam, wParam);
  sample.dX = sample.x - oldX;
  sample.dY = sample.y - oldY;
  if (sample.dX == 0.f && sample.dY == 0.f)
    return;
  OnMouseDrag({sample});
  if (mCursorLock)
  {
    // A hidden, locked pointer stays where it disappeared.
    const float hiddenX = mHiddenAtX;
    const float hiddenY = mHiddenAtY;
    MoveMouseCursor(hiddenX, hiddenY);
    mHiddenAtX = hiddenX;
    mHiddenAtY = hiddenY;
  }
}

void IGContextWin::HandleWheel(uintptr_t wParam, intptr_t lParam)
{
  // The message carries screen coordinates.
  IMouseInfo sample = Sample(lParam, wParam);
  RECT r{};
  GetWindowRect(mWindow, &r);
  const float s = GetBackingPixelScale();
  sample.x -= static_cast<float>(r.left) / s;
  sample.y -= static_cast<float>(r.top) / s;
  // The pointer position is kept in the window's points, as every other sample leaves it.
  mLastX = sample.x;
  mLastY = sample.y;
  const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
  OnMouseWheel(sample.x, sample.y, sample.ms, static_cast<float>(notches));
}

intptr_t IGContextWin::HandleKey(unsigned msg, uintptr_t wParam, intptr_t lParam)
{
  HWND window = mWindow;
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(window, &p);
  const float s = GetBackingPixelScale();
  BYTE state[256] = {};
  GetKeyboardState(state);
  WORD character = 0;
  const int n = ToAscii(static_cast<UINT>(wParam), static_cast<UINT>((lParam >> 16) & 0xFF), state, &character, 0);
  if (n == 0 || n == 1)
  {
    const std::string text = n == 1 ? AnsiCharToUtf8(static_cast<char>(character & 0xFF)) : std::string();
    const IKeyPress key(text.c_str(), static_cast<int>(wParam), KeyDown(VK_SHIFT), KeyDown(VK_CONTROL),
                        KeyDown(VK_MENU));
    const float x = static_cast<float>(p.x) / s;
    const float y = static_cast<float>(p.y) / s;
    if (msg == WM_KEYDOWN ? OnKeyDown(x, y, key) : OnKeyUp(x, y, key))
      return 0;
  }
  // Not handled (or a dead key that gave two characters): the host's window gets the key as it came.
  HWND root = GetAncestor(window, GA_ROOT);
  if (root && root != window && !mForwardingKey)
  {
    const std::weak_ptr<char> alive = mLifetime;
    mForwardingKey = true;
    SendMessageW(root, msg, wParam, lParam);
    // The host may have closed the editor in answer to the key.
    if (alive.expired())
      return 0;
    mForwardingKey = false;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

// ---- Display tick and painting -------------------------------------------------------------------------------

void IGContextWin::OnDisplayTick(uint32_t n)
{
  if (!WindowUsable())
    return;
  if (mVBlankThread)
  {
    const uint32_t c = mVBlankThread->Counter();
    if (mNextAllowedTick != 0 && static_cast<int32_t>(c - mNextAllowedTick) < 0)
      return;
    mNextAllowedTick = 0;
    // A tick that waited in the queue while newer ones were posted.
    if (n != c)
      return;
  }

  if (mTextField)
  {
    switch (mTextEntryState)
    {
      case kTextCancel:
        CloseTextField();
        ClearTextEntryTarget();
        mTextEntryState = kTextIdle;
        return;
      case kTextCommit:
        CommitTextField();
        return;
      case kTextFocused:
      case kTextRedrawn:
        mTextEntryState = kTextIdle;
        return;
      default:
        break;
    }
  }

  if (GetCapture() == nullptr)
  {
    // Compared with the density applied last, so a scale the host set stays until the display really changes.
    const float d = WindowPixelDensity(mWindow);
    if (d != mAppliedDensity)
    {
      mAppliedDensity = d;
      SetScreenScale(d);
    }
  }

  IRectList rects;
  if (!IsDirty(rects))
    return;
  SetAllControlsClean();
  const float s = GetBackingPixelScale();
  for (int i = 0; i < rects.Size(); ++i)
  {
    const RECT r = PointsToPixels(rects.Get(i), s);
    InvalidateRect(mWindow, &r, FALSE);
  }
  if (mTextField)
  {
    const RECT field = PointsToPixels(mTextEntryRect, s);
    ValidateRect(mWindow, &field);
    UpdateWindow(mWindow);
    mTextEntryState = kTextRedrawn;
    return;
  }
  UpdateWindow(mWindow);
  // A frame that took longer than one blank: the next tick that may draw is the one after the next.
  if (mVBlankThread && mVBlankThread->Counter() != n)
    mNextAllowedTick = mVBlankThread->Counter() + 1;
}

void IGContextWin::Paint()
{
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  const int type = region ? GetUpdateRgn(mWindow, region, FALSE) : ERROR;
  if (type == SIMPLEREGION || type == COMPLEXREGION)
  {
    const float s = GetBackingPixelScale();
    IRectList rects;
    bool listed = false;
    if (type == COMPLEXREGION)
    {
      alignas(RGNDATA) unsigned char buffer[kRegionDataBytes];
      auto* data = reinterpret_cast<RGNDATA*>(buffer);
      if (GetRegionData(region, kRegionDataBytes, data) != 0)
      {
        const auto* r = reinterpret_cast<const RECT*>(data->Buffer);
        const DWORD count = std::min(data->rdh.nCount, kMaxRegionRects);
        for (DWORD i = 0; i < count; ++i)
          rects.Add(PixelsToPoints(r[i], s));
        listed = true;
      }
    }
    if (!listed)
    {
      RECT box{};
      GetRgnBox(region, &box);
      rects.Add(PixelsToPoints(box, s));
    }
    Draw(rects);
  }
  ValidateRect(mWindow, nullptr);
  if (region)
    DeleteObject(region);
}

void IGContextWin::EndFrame()
{
  IGContextCairo::EndFrame();
  if (!WindowUsable() || !GetPixels())
    return;
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(mWindow, &paint);
  if (!dc)
    return;
  const int w = std::min(GetPixelWidth(), static_cast<int>(WindowPixels(Width())));
  const int h = std::min(GetPixelHeight(), static_cast<int>(WindowPixels(Height())));
  // The buffer starts with the bitmap header the backend keeps in front of its pixels.
  const auto* header = reinterpret_cast<const BITMAPINFO*>(GetPixelBuffer().data());
  StretchDIBits(dc, 0, 0, w, h, 0, 0, w, h, GetPixels(), header, DIB_RGB_COLORS, SRCCOPY);
  EndPaint(mWindow, &paint);
}

float IGContextWin::WindowPixels(int points) const
{
  return static_cast<float>(static_cast<int>(static_cast<float>(points) * mDrawScale)) * mScreenScale;
}

void IGContextWin::InvalidateWholeWindow()
{
  if (!WindowUsable())
    return;
  const RECT r{0, 0, static_cast<LONG>(WindowPixels(Width())), static_cast<LONG>(WindowPixels(Height()))};
  InvalidateRect(mWindow, &r, FALSE);
}

void IGContextWin::PlatformResize(bool parentHasResized)
{
  if (!WindowUsable())
    return;
  RECT r{};
  if (!GetWindowRect(mWindow, &r))
    return;
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const int dw = static_cast<int>(WindowPixels(Width()) - static_cast<float>(w));
  const int dh = static_cast<int>(WindowPixels(Height()) - static_cast<float>(h));

  const auto isChild = [](HWND window) {
    return (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) && !(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_MDICHILD);
  };
  HWND parent = nullptr;
  HWND grandparent = nullptr;
  RECT parentRect{};
  RECT grandparentRect{};
  if (isChild(mWindow))
  {
    parent = GetParent(mWindow);
    if (parent && !GetWindowRect(parent, &parentRect))
      parent = nullptr;
    if (parent && isChild(parent))
    {
      grandparent = GetParent(parent);
      if (grandparent && !GetWindowRect(grandparent, &grandparentRect))
        grandparent = nullptr;
    }
  }
  if (dw == 0 && dh == 0)
    return;
  constexpr UINT flags = SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE;
  SetWindowPos(mWindow, nullptr, 0, 0, w + dw, h + dh, flags);
  if (parentHasResized)
    return;
  const auto grow = [dw, dh](HWND window, const RECT& rect) {
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left + dw, rect.bottom - rect.top + dh, flags);
  };
  if (parent)
    grow(parent, parentRect);
  if (grandparent)
    grow(grandparent, grandparentRect);
}

// ---- Pointer and cursor ------------------------------------------------------------------------------------

void IGContextWin::GetMouseLocation(float& x, float& y) const
{
  x = mLastX;
  y = mLastY;
  POINT p{};
  if (!WindowUsable() || !GetCursorPos(&p) || !ScreenToClient(mWindow, &p))
    return;
  const float s = GetBackingPixelScale();
  x = static_cast<float>(p.x) / s;
  y = static_cast<float>(p.y) / s;
}

void IGContextWin::HideMouseCursor(bool hide, bool lock)
{
  if (hide == mCursorHidden)
    return;
  if (hide)
  {
    mHiddenAtX = mLastX;
    mHiddenAtY = mLastY;
    ShowCursor(FALSE);
    mCursorHidden = true;
    mCursorLock = lock && !mTabletInput;
  }
  else
  {
    if (mCursorLock)
      MoveMouseCursor(mHiddenAtX, mHiddenAtY);
    ShowCursor(TRUE);
    mCursorHidden = false;
    mCursorLock = false;
  }
}

void IGContextWin::MoveMouseCursor(float x, float y)
{
  if (mTabletInput || !WindowUsable())
    return;
  const float s = GetBackingPixelScale();
  // std::lround rounds halves away from zero.
  POINT p{static_cast<LONG>(std::lround(s * x)), static_cast<LONG>(std::lround(s * y))};
  ClientToScreen(mWindow, &p);
  if (!SetCursorPos(p.x, p.y))
    return;
  if (!GetCursorPos(&p) || !ScreenToClient(mWindow, &p))
    return;
  mLastX = mHiddenAtX = static_cast<float>(p.x) / s;
  mLastY = mHiddenAtY = static_cast<float>(p.y) / s;
}

CursorType IGContextWin::SetMouseCursor(CursorType type)
{
  const int index = static_cast<int>(type);
  const WORD id = index >= 0 && index < static_cast<int>(std::size(kCursorIds)) ? kCursorIds[index] : kCursorIds[0];
  SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(id)));
  return IGContext::SetMouseCursor(type);
}

void IGContextWin::ReleaseCaptureAndShowCursor()
{
  ReleaseMouseCapture();
  if (mCursorHidden)
    HideMouseCursor(false, false);
}

// ---- Text field ------------------------------------------------------------------------------------------

void IGContextWin::CreatePlatformTextEntry(int paramIdx, const IText& text, const IRect& bounds, int length,
                                           const char* str)
{
  if (mTextField)
    return;
  if (!WindowUsable())
  {
    // No field can be shown: the entry ends at once, as if cancelled, so the editor does not wait for it.
    ClearTextEntryTarget();
    return;
  }
  const float s = GetBackingPixelScale();
  DWORD style = kTextFieldStyle;
  switch (text.align)
  {
    case EAlign::Near: style |= ES_LEFT; break;
    case EAlign::Far: style |= ES_RIGHT; break;
    default: style |= ES_CENTER; break;
  }
  const float l = s * bounds.L;
  const float t = s * bounds.T;
  const float r = s * bounds.R;
  const float b = s * bounds.B;
  const std::wstring initial = Utf8ToWide(str ? str : "");
  mTextField = CreateWindowExW(0, L"EDIT", initial.c_str(), style, static_cast<int>(l), static_cast<int>(t),
                               static_cast<int>(r - l + 1.f), static_cast<int>(b - t + 1.f), mWindow,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextFieldId)), mModule, nullptr);
  if (!mTextField)
  {
    ClearTextEntryTarget();
    return;
  }

  // The native font kept for the style's font (Roboto-Regular for this editor, cached when it was loaded); for a
  // font that has none, the system's font for dialogs.
  LOGFONTW description{};
  bool described = false;
  {
    SharedCache<NativeFont>& cache = NativeFontCache();
    const auto lock = cache.Acquire();
    if (const NativeFont* font = cache.Find(text.font, 1.0))
      described = GetObjectW(font->Get(), sizeof(description), &description) == sizeof(description);
  }
  if (!described)
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(description), &description);
  description.lfHeight = static_cast<LONG>(s * text.size);
  mTextFieldFont = CreateFontIndirectW(&description);

  const IGEditorDelegate* delegate = GetDelegate();
  mTextEntryParam = paramIdx >= 0 && paramIdx < delegate->NParams() ? delegate->GetParam(paramIdx) : nullptr;
  mTextEntryStyle = text;
  mTextEntryRect = bounds;

  SendMessageW(mTextField, EM_LIMITTEXT, static_cast<WPARAM>(std::max(length, 0)), 0);
  if (mTextFieldFont)
    SendMessageW(mTextField, WM_SETFONT, reinterpret_cast<WPARAM>(mTextFieldFont), 0);
  SendMessageW(mTextField, EM_SETSEL, 0, -1);
  if (text.vAlign == EVAlign::Middle)
  {
    const float wf = r - l;
    const float hf = b - t;
    RECT inner{0, static_cast<LONG>((hf - s * text.size) / 2.f), static_cast<LONG>(wf) + 1,
               static_cast<LONG>(hf) + 1};
    SendMessageW(mTextField, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&inner));
  }
  // Focus first, so the field's own procedure sees the focus arrive and the state stays as it is.
  SetFocus(mTextField);
  mTextFieldPreviousProc =
    SetWindowLongPtrW(mTextField, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TextFieldProc));
}

intptr_t IGContextWin::TextFieldProc(HWND hwnd, unsigned msg, uintptr_t wParam, intptr_t lParam)
{
  HWND parent = GetParent(hwnd);
  auto* self = parent ? reinterpret_cast<IGContextWin*>(GetWindowLongPtrW(parent, GWLP_USERDATA)) : nullptr;
  if (!self || hwnd != self->mTextField)
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->HandleTextFieldMessage(msg, wParam, lParam);
}

intptr_t IGContextWin::HandleTextFieldMessage(unsigned msg, uintptr_t wParam, intptr_t lParam)
{
  const auto previous = reinterpret_cast<WNDPROC>(mTextFieldPreviousProc);
  HWND field = mTextField;
  switch (msg)
  {
    case WM_SETFOCUS:
      mTextEntryState = kTextFocused;
      break;
    case WM_KILLFOCUS:
      mTextEntryState = kTextCommit;
      break;
    case WM_GETDLGCODE:
    {
      LRESULT code = CallWindowProcW(previous, field, msg, wParam, lParam);
      const auto* asked = reinterpret_cast<const MSG*>(lParam);
      if (asked && asked->message == WM_KEYDOWN && asked->wParam == VK_RETURN)
        code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_KEYDOWN:
      if (wParam == VK_RETURN)
      {
        mTextEntryState = kTextCommit;
        return 0;
      }
      if (wParam == VK_ESCAPE)
      {
        mTextEntryState = kTextCancel;
        return 0;
      }
      break;
    case WM_CHAR:
    {
      // Enter and Escape end the entry; their characters must not become part of the text.
      if (wParam == '\r' || wParam == '\n' || wParam == 0x1B)
        return 0;
      if (mTextEntryParam && wParam != '\b')
      {
        const bool digitOrSign = (wParam >= '0' && wParam <= '9') || wParam == '+' || wParam == '-';
        switch (mTextEntryParam->GetKind())
        {
          case ParamKind::Bool:
          case ParamKind::Int:
          case ParamKind::Enum:
            if (!digitOrSign)
              return 0;
            break;
          case ParamKind::Double:
            if (!digitOrSign && wParam != '.')
              return 0;
            break;
          case ParamKind::None:
            break;
        }
      }
      break;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == 1)
      {
        mTextEntryState = kTextCommit;
        return 0;
      }
      break;
    default:
      break;
  }
  return CallWindowProcW(previous, field, msg, wParam, lParam);
}

void IGContextWin::CloseTextField()
{
  if (!mTextField)
    return;
  SetWindowLongPtrW(mTextField, GWLP_WNDPROC, mTextFieldPreviousProc);
  DestroyWindow(mTextField);
  if (mTextFieldFont)
    DeleteObject(mTextFieldFont);
  mTextField = nullptr;
  mTextFieldFont = nullptr;
  mTextFieldPreviousProc = 0;
  mTextEntryParam = nullptr;
}

void IGContextWin::CommitTextField()
{
  wchar_t buffer[kTextFieldBufferUnits] = {};
  SendMessageW(mTextField, WM_GETTEXT, kTextFieldBufferUnits, reinterpret_cast<LPARAM>(buffer));
  const std::string text = WideBufferToUtf8(buffer, kTextFieldBufferUnits);
  // Closed before the text is committed, so a control may open another entry from its completion.
  CloseTextField();
  mTextEntryState = kTextIdle;
  CommitTextEntry(text.c_str());
}

// ---- Pop-up menu -------------------------------------------------------------------------------------------

std::string IGContextWin::MenuItemText(int prefix, int index, const std::string& text)
{
  std::string shown = text;
  if (prefix >= 1 && prefix <= 3)
  {
    static constexpr const char* kFormats[] = {"%1d: %s", "%02d: %s", "%03d: %s"};
    const int n = std::snprintf(nullptr, 0, kFormats[prefix - 1], index + 1, text.c_str());
    if (n > 0)
    {
      shown.assign(static_cast<size_t>(n) + 1, '\0');
      std::snprintf(shown.data(), shown.size(), kFormats[prefix - 1], index + 1, text.c_str());
      shown.resize(static_cast<size_t>(n));
    }
    // Whole characters: a UTF-8 sequence is never split.
    size_t characters = 0;
    size_t end = 0;
    while (end < shown.size() && characters < kMenuItemMaxCharacters)
    {
      ++end;
      while (end < shown.size() && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80)
        ++end;
      ++characters;
    }
    shown.resize(end);
  }
  std::string escaped;
  escaped.reserve(shown.size());
  for (const char c : shown)
  {
    escaped += c;
    if (c == '&')
      escaped += '&';
  }
  return escaped;
}

IPopupMenu* IGContextWin::CreatePlatformPopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync)
{
  isAsync = false;
  if (!WindowUsable())
  {
    menu.SetChosenItemIdx(-1);
    return nullptr;
  }
  int counter = 0;
  std::vector<MenuRange> ranges;
  HMENU native = BuildNativeMenu(menu, counter, ranges);
  IPopupMenu* result = nullptr;
  if (native)
  {
    const float s = GetBackingPixelScale();
    POINT p{static_cast<LONG>(s * bounds.L), static_cast<LONG>(s * bounds.B)};
    ClientToScreen(mWindow, &p);
    if (TrackPopupMenu(native, 0, p.x, p.y, 0, mWindow, nullptr))
    {
      MSG msg{};
      if (PeekMessageA(&msg, mWindow, WM_COMMAND, WM_COMMAND, PM_REMOVE) && HIWORD(msg.wParam) == 0)
      {
        const int id = LOWORD(msg.wParam);
        for (const MenuRange& range : ranges)
        {
          if (range.first <= id && id < range.first + range.menu->NItems())
          {
            range.menu->SetChosenItemIdx(id - range.first);
            result = range.menu;
            break;
          }
        }
      }
    }
    DestroyMenu(native);
  }
  InvalidateWholeWindow();
  return result;
}

// ---- Drops -------------------------------------------------------------------------------------------------

void IGContextWin::DropFiles(const std::vector<std::string>& paths, float x, float y)
{
  if (paths.size() == 1)
  {
    OnDrop(paths.front().c_str(), x, y);
  }
  else if (paths.size() > 1)
  {
    std::vector<const char*> list;
    list.reserve(paths.size());
    for (const std::string& path : paths)
      list.push_back(path.c_str());
    OnDropMultiple(list, x, y);
  }
}

void IGContextWin::HandleDropFiles(HDROP drop)
{
  // Only a block that can hold a file list is read; nothing else is freed either.
  if (!drop || GlobalSize(reinterpret_cast<HGLOBAL>(drop)) < kFileListHeaderBytes)
    return;
  const std::vector<std::string> paths = ReadDroppedFiles(drop, kDropPathUnits);
  POINT p{};
  DragQueryPoint(drop, &p);
  const float s = GetBackingPixelScale();
  DragFinish(drop);
  DropFiles(paths, static_cast<float>(p.x) / s, static_cast<float>(p.y) / s);
}

// ---- Clipboard, drags, dialogs and links ---------------------------------------------------------------------

bool IGContextWin::GetTextFromClipboard(std::string& str)
{
  return ReadClipboardText(str);
}

bool IGContextWin::SetTextInClipboard(const char* str)
{
  return WriteClipboardText(mHostMainWindow, str);
}

bool IGContextWin::SetFilePathInClipboard(const char* path)
{
  return WriteClipboardFilePath(mHostMainWindow, path);
}

bool IGContextWin::InitiateExternalFileDragDrop(const char* path)
{
  const bool dragged = DragFileOut(path);
  ReleaseCaptureAndShowCursor();
  return dragged;
}

void IGContextWin::FindHostMainWindow()
{
  if (mHostMainWindow && IsWindow(mHostMainWindow))
    return;
  mHostMainWindow = nullptr;
  if (mParent && IsWindow(mParent))
  {
    mHostMainWindow = TopLevelAncestor(mParent);
    mHostMainWindowClass = WindowClassName(mHostMainWindow);
  }
  else if (!mHostMainWindowClass.empty())
  {
    // The host's main window went away (and may have come back): the same class of this process is looked for.
    mHostMainWindow = FindProcessWindowByClass(mHostMainWindowClass);
  }
}

int IGContextWin::ShowMessageBox(const char* str, const char* caption, int type, std::function<void(int)> completion)
{
  ReleaseCaptureAndShowCursor();
  FindHostMainWindow();
  const int result = MessageBoxW(mHostMainWindow, Utf8ToWide(str ? str : "").c_str(),
                                 Utf8ToWide(caption ? caption : "").c_str(), static_cast<UINT>(type));
  if (completion)
    completion(result);
  return result;
}

void IGContextWin::PromptForFile(std::string& fileName, std::string& path, int action, const char* ext,
                                 std::function<void(const std::string&, const std::string&)> completion)
{
  if (!WindowUsable())
  {
    fileName.clear();
    return;
  }
  ChooseFile(mWindow, fileName, path, action, ext);
  if (completion)
    completion(fileName, path);
  ReleaseCaptureAndShowCursor();
}

void IGContextWin::PromptForDirectory(std::string& dir,
                                      std::function<void(const std::string&, const std::string&)> completion)
{
  ChooseFolder(WindowUsable() ? mWindow : nullptr, dir);
  if (completion)
    completion(std::string(), dir);
  ReleaseCaptureAndShowCursor();
}

bool IGContextWin::PromptForColor(IColor& color, const char* str, std::function<void(const IColor&)> completion)
{
  ReleaseCaptureAndShowCursor();
  if (!WindowUsable())
    return false;
  if (!ChooseColour(mWindow, color, str))
    return false;
  if (completion)
    completion(color);
  return true;
}

bool IGContextWin::OpenURL(const char* url, const char* msgWindowTitle, const char* confirmMsg,
                           const char* errMsgOnFailure)
{
  return OpenLink(WindowUsable() ? mWindow : nullptr, url, msgWindowTitle, confirmMsg, errMsgOnFailure);
}

bool IGContextWin::RevealPathInExplorerOrFinder(const char* path, bool select)
{
  return ShowInFileBrowser(path, select);
}

} // namespace ondrell::graphics
