#include "graphics/linux/IGContextX11.h"

#include "graphics/IGEditorDelegate.h"
#include "graphics/linux/X11KeyMap.h"
#include "graphics/linux/XErrorTrap.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace ondrell::graphics {
namespace {

constexpr long kWindowEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                                  EnterWindowMask | LeaveWindowMask | KeyPressMask | KeyReleaseMask |
                                  StructureNotifyMask;

// Font cursor shapes by CursorType; any other type shows the arrow.
constexpr unsigned kCursorShapes[] = {
  XC_left_ptr,            // Arrow
  XC_xterm,               // IBeam
  XC_watch,               // Wait
  XC_crosshair,           // Cross
  XC_sb_up_arrow,         // UpArrow
  XC_bottom_right_corner, // SizeNWSE
  XC_bottom_left_corner,  // SizeNESW
  XC_sb_h_double_arrow,   // SizeWE
  XC_sb_v_double_arrow,   // SizeNS
  XC_fleur,               // SizeAll
  XC_X_cursor,            // No
  XC_hand2,               // Hand
  XC_watch,               // AppStarting
  XC_question_arrow,      // Help
};

// The longest ancestor chain walked when looking for the host's top-level window.
constexpr int kMaxWindowDepth = 64;

unsigned ButtonMask(unsigned button)
{
  switch (button)
  {
    case Button1: return Button1Mask;
    case Button2: return Button2Mask;
    case Button3: return Button3Mask;
    default: return 0;
  }
}

IRect PixelsToPoints(const IRect& r, float s)
{
  return {std::floor(r.L / s), std::floor(r.T / s), std::ceil(r.R / s), std::ceil(r.B / s)};
}

IRect PointsToPixels(const IRect& r, float s)
{
  return {std::floor(r.L * s), std::floor(r.T * s), std::ceil(r.R * s), std::ceil(r.B * s)};
}

// The parent of window, or 0 when it cannot be read.
Window ParentOf(Display* display, Window window, Window* root = nullptr)
{
  Window rootReturn = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count))
    return 0;
  if (children)
    XFree(children);
  if (root)
    *root = rootReturn;
  return parent;
}

} // namespace

IGContextX11::IGContextX11(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
  : IGContextCairo(dlg, w, h, fps, scale)
{
}

IGContextX11::~IGContextX11()
{
  CloseWindow();
  // Controls laid out without a window go while the cursor and capture can still be reset here.
  RemoveAllControls();
}

// --- Scale ------------------------------------------------------------------------------------------------

float IGContextX11::DensityFromDpi(double dpi)
{
  if (!(dpi > 0.0) || !std::isfinite(dpi))
    return 1.f;
  if (dpi == 96.0)
    return 1.f;
  return static_cast<float>(std::max(1.0, std::round(dpi / 96.0)));
}

double IGContextX11::DpiFromResources(const char* resources)
{
  if (!resources)
    return 0.0;
  XrmInitialize();
  XrmDatabase db = XrmGetStringDatabase(resources);
  if (!db)
    return 0.0;
  double dpi = 0.0;
  char* type = nullptr;
  XrmValue value{};
  if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
  {
    const char* first = value.addr;
    const char* last = value.addr + strnlen(value.addr, value.size);
    while (first < last && (*first == ' ' || *first == '\t'))
      ++first;
    // from_chars reads the number the same way whatever the host's locale.
    const auto [end, error] = std::from_chars(first, last, dpi);
    if (error != std::errc() || end == first || !std::isfinite(dpi))
      dpi = 0.0;
  }
  XrmDestroyDatabase(db);
  return dpi;
}

float IGContextX11::ReadDensity()
{
  if (!mDisplay || mDisplayDead)
    return 1.f;
  XErrorTrap trap(mDisplay);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  double dpi = 0.0;
  // The whole property (its length is counted in 32-bit units).
  if (XGetWindowProperty(mDisplay, mResourceRoot, XA_RESOURCE_MANAGER, 0, 0x1000000, False, XA_STRING, &type,
                         &format, &count, &after, &data) == Success &&
      data)
  {
    if (type == XA_STRING && format == 8)
    {
      const std::string text(reinterpret_cast<const char*>(data), count);
      dpi = DpiFromResources(text.c_str());
    }
    XFree(data);
  }
  return DensityFromDpi(dpi);
}

// --- Opening and closing ------------------------------------------------------------------------------------

bool IGContextX11::OpenDisplay()
{
  if (mDisplay)
    return true;
  mDisplay = XOpenDisplay(nullptr);
  if (!mDisplay)
    return false;
  mDisplayDead = false;
  XErrorTrap::SurviveConnectionLoss(mDisplay, &mDisplayDead);
  XErrorTrap trap(mDisplay);
  mResourceRoot = RootWindow(mDisplay, 0);
  mWMStateAtom = XInternAtom(mDisplay, "WM_STATE", False);
  return true;
}

void IGContextX11::CloseDisplay()
{
  if (!mDisplay)
    return;
  {
    XErrorTrap trap(mDisplay);
    XCloseDisplay(mDisplay);
  }
  mDisplay = nullptr;
  mDisplayDead = false;
  mResourceRoot = 0;
  mWMStateAtom = 0;
}

bool IGContextX11::CreateChildWindow(XId parent, int x, int y, int w, int h)
{
  XErrorTrap trap(mDisplay);
  XWindowAttributes parentAttributes{};
  if (!XGetWindowAttributes(mDisplay, parent, &parentAttributes) || trap.SyncFailed())
    return false;

  // The pixel buffer holds 32-bit BGRA, which a 24-bit true-colour visual with these masks takes as it is.
  const int screen = XScreenNumberOfScreen(parentAttributes.screen);
  XVisualInfo visual{};
  if (!XMatchVisualInfo(mDisplay, screen, 24, TrueColor, &visual) || visual.red_mask != 0xFF0000 ||
      visual.green_mask != 0xFF00 || visual.blue_mask != 0xFF)
    return false;

  mRoot = RootWindow(mDisplay, screen);
  mOwnColormap = visual.visual != DefaultVisual(mDisplay, screen);
  mColormap = mOwnColormap ? XCreateColormap(mDisplay, mRoot, visual.visual, AllocNone)
                           : DefaultColormap(mDisplay, screen);

  // No background: the server leaves exposed areas alone until they are painted, so nothing flickers.
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;
  attributes.border_pixel = 0;
  attributes.colormap = mColormap;
  attributes.event_mask = kWindowEventMask;
  attributes.bit_gravity = NorthWestGravity;
  const Window window = XCreateWindow(mDisplay, parent, x, y, static_cast<unsigned>(std::max(1, w)),
                                      static_cast<unsigned>(std::max(1, h)), 0, visual.depth, InputOutput,
                                      visual.visual,
                                      CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask | CWBitGravity,
                                      &attributes);
  mGC = XCreateGC(mDisplay, window, 0, nullptr);
  XMapWindow(mDisplay, window);
  // Changes of the resources (Xft.dpi) arrive as property changes of the root window.
  XSelectInput(mDisplay, mResourceRoot, PropertyChangeMask);

  if (trap.SyncFailed())
  {
    XFreeGC(mDisplay, mGC);
    mGC = nullptr;
    XDestroyWindow(mDisplay, window);
    if (mOwnColormap)
      XFreeColormap(mDisplay, mColormap);
    mColormap = 0;
    mOwnColormap = false;
    XSync(mDisplay, False);
    return false;
  }
  mWindow = window;
  mParent = parent;
  mWindowDestroyed = false;
  return true;
}

void* IGContextX11::OpenWindow(void* parent)
{
  const XId parentId = reinterpret_cast<uintptr_t>(parent);

  // A second opening replaces the window with one at the same place and size.
  bool keepGeometry = false;
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  if (mWindow)
  {
    if (!mWindowDestroyed && !mDisplayDead)
    {
      XErrorTrap trap(mDisplay);
      Window root = 0;
      unsigned gw = 0, gh = 0, border = 0, depth = 0;
      if (XGetGeometry(mDisplay, mWindow, &root, &x, &y, &gw, &gh, &border, &depth))
      {
        keepGeometry = true;
        w = static_cast<int>(gw);
        h = static_cast<int>(gh);
      }
    }
    CloseWindow();
  }

  float density = 1.f;
  if (parentId != 0 && OpenDisplay())
  {
    density = ReadDensity();
    if (!keepGeometry)
    {
      x = 0;
      y = 0;
      const int d = static_cast<int>(density);
      w = d * static_cast<int>(static_cast<float>(Width()) * mDrawScale);
      h = d * static_cast<int>(static_cast<float>(Height()) * mDrawScale);
    }
    if (CreateChildWindow(parentId, x, y, w, h))
      mTickTimer = Timer::Create([this](Timer&) { OnDisplayTick(); }, DisplayTickPeriodMs(FPS()),
                                 Timer::Drive::HostMainThread);
  }

  DrawResize();
  mDensity = density;
  mAppliedDensity = density;
  SetScreenScale(static_cast<float>(static_cast<int>(density)));
  GetDelegate()->LayoutUI(this);
  if (mWindow)
    SetAllControlsDirty();
  else
    CloseDisplay();
  GetDelegate()->OnEditorOpened();
  return GetWindow();
}

void IGContextX11::CloseWindow()
{
  if (!mDisplay)
    return;
  if (mTickTimer)
  {
    mTickTimer->Stop();
    mTickTimer.reset();
  }
  // The controls go first: removing them shows a hidden cursor, which still needs the window.
  OnViewDestroyed();
  {
    XErrorTrap trap(mDisplay);
    for (const auto& [type, cursor] : mCursors)
      XFreeCursor(mDisplay, cursor);
    if (mBlankCursor)
      XFreeCursor(mDisplay, mBlankCursor);
    if (mGC)
      XFreeGC(mDisplay, mGC);
    if (mWindow && !mWindowDestroyed)
      XDestroyWindow(mDisplay, mWindow);
    if (mOwnColormap)
      XFreeColormap(mDisplay, mColormap);
    XSync(mDisplay, False);
  }
  mCursors.clear();
  mBlankCursor = 0;
  mGC = nullptr;
  mWindow = 0;
  mParent = 0;
  mRoot = 0;
  mColormap = 0;
  mOwnColormap = false;
  mWindowDestroyed = false;
  mExposed.clear();
  mCaptured = false;
  mLeaveTracked = false;
  mCursorLock = false;
  mClickButton = 0;
  CloseDisplay();
}

void* IGContextX11::GetWindow()
{
  return mWindow ? reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow)) : nullptr;
}

int IGContextX11::GetPlatformEventFd() const
{
  return mDisplay && mWindow && !mDisplayDead ? ConnectionNumber(mDisplay) : -1;
}

// --- Events -----------------------------------------------------------------------------------------------

bool IGContextX11::ConnectionClosed() const
{
  pollfd p{ConnectionNumber(mDisplay), POLLIN, 0};
  if (poll(&p, 1, 0) <= 0)
    return false;
  if (p.revents & (POLLERR | POLLNVAL))
    return true;
  char byte = 0;
  const ssize_t n = recv(p.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void IGContextX11::ProcessPlatformEvents()
{
  if (!mDisplay || mDisplayDead)
    return;
  // A connection the server closed is noticed here, before Xlib reads from it: Xlib's own handling of a broken
  // connection (which SurviveConnectionLoss keeps from ending the process) remains for a break in mid-request.
  if (ConnectionClosed())
  {
    mDisplayDead = true;
    return;
  }
  Display* const display = mDisplay;
  XErrorTrap trap(display);
  while (mDisplay == display && !mDisplayDead && XPending(display) > 0)
  {
    XEvent event;
    XNextEvent(display, &event);
    // Of several pointer movements in a row only the last one counts.
    if (event.type == MotionNotify && XEventsQueued(display, QueuedAlready) > 0)
    {
      XEvent next;
      XPeekEvent(display, &next);
      if (next.type == MotionNotify && next.xmotion.window == event.xmotion.window &&
          next.xmotion.state == event.xmotion.state)
        continue;
    }
    HandleEvent(event);
  }
  if (mDisplay == display)
    PaintExposed();
}

void IGContextX11::HandleEvent(XEvent& event)
{
  if (event.type == PropertyNotify)
  {
    if (event.xproperty.window == mResourceRoot && event.xproperty.atom == XA_RESOURCE_MANAGER)
      mDensity = ReadDensity();
    return;
  }
  if (event.type == MappingNotify)
  {
    // Another keyboard layout: the keys are looked up in the new one from now on.
    XRefreshKeyboardMapping(&event.xmapping);
    return;
  }
  if (!mWindow || event.xany.window != mWindow)
    return;

  switch (event.type)
  {
    case Expose:
    {
      const XExposeEvent& e = event.xexpose;
      mExposed.emplace_back(static_cast<float>(e.x), static_cast<float>(e.y), static_cast<float>(e.x + e.width),
                            static_cast<float>(e.y + e.height));
      break;
    }
    case ButtonPress:
      HandleButtonPress(event);
      break;
    case ButtonRelease:
      HandleButtonRelease(event);
      break;
    case MotionNotify:
      HandleMotion(event);
      break;
    case EnterNotify:
    {
      const XCrossingEvent& e = event.xcrossing;
      // Entering shows the current cursor type again (the arrow was set when the pointer left).
      DefineCursor();
      if (e.mode == NotifyNormal && !(e.state & (Button1Mask | Button3Mask)))
      {
        const IMouseInfo sample = Sample(e.x, e.y, e.state);
        if (OnMouseOver(sample.x, sample.y, sample.ms))
          mLeaveTracked = true;
      }
      break;
    }
    case LeaveNotify:
    {
      const XCrossingEvent& e = event.xcrossing;
      if (e.mode == NotifyNormal && e.detail != NotifyInferior && mLeaveTracked)
      {
        mLeaveTracked = false;
        OnMouseOut();
      }
      break;
    }
    case KeyPress:
    case KeyRelease:
      HandleKey(event);
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == mWindow)
        mWindowDestroyed = true;
      break;
    default:
      break;
  }
}

IMouseInfo IGContextX11::Sample(int px, int py, unsigned state)
{
  const float s = GetBackingPixelScale();
  IMouseInfo info;
  info.x = static_cast<float>(px) / s;
  info.y = static_cast<float>(py) / s;
  mLastX = info.x;
  mLastY = info.y;
  info.ms.L = (state & Button1Mask) != 0;
  info.ms.R = (state & Button3Mask) != 0;
  info.ms.S = (state & ShiftMask) != 0;
  info.ms.C = (state & ControlMask) != 0;
  info.ms.A = (state & Mod1Mask) != 0;
  return info;
}

void IGContextX11::HandleButtonPress(XEvent& event)
{
  const XButtonEvent& b = event.xbutton;
  if (b.button == Button4 || b.button == Button5)
  {
    // One wheel notch, away from the user (button 4) or towards (button 5).
    const IMouseInfo sample = Sample(b.x, b.y, b.state);
    OnMouseWheel(sample.x, sample.y, sample.ms, b.button == Button4 ? 1.f : -1.f);
    return;
  }
  // Buttons 6 and 7 (the sideways wheel) and the extra buttons have no use in the editor.
  const unsigned mask = ButtonMask(b.button);
  if (mask == 0)
    return;
  // Modifiers as they are after the press.
  const unsigned state = b.state | mask;

  const bool doubleClick = (b.button == Button1 || b.button == Button3) && b.button == mClickButton &&
                           static_cast<uint32_t>(b.time - mClickTime) < kDoubleClickTimeMs &&
                           std::abs(b.x - mClickX) <= kDoubleClickDistance &&
                           std::abs(b.y - mClickY) <= kDoubleClickDistance;
  if (doubleClick)
  {
    // A third press starts over.
    mClickButton = 0;
    const IMouseInfo sample = Sample(b.x, b.y, state);
    if (OnMouseDblClick(sample.x, sample.y, sample.ms))
      mCaptured = true;
    return;
  }
  mClickButton = b.button;
  mClickTime = b.time;
  mClickX = b.x;
  mClickY = b.y;
  mCaptured = true;
  OnMouseDown({Sample(b.x, b.y, state)});
}

void IGContextX11::HandleButtonRelease(XEvent& event)
{
  const XButtonEvent& b = event.xbutton;
  const unsigned mask = ButtonMask(b.button);
  if (mask == 0)
    return;
  // Every release ends the hold, the middle button's too, so a control pressed with it is never left captured.
  mCaptured = false;
  OnMouseUp({Sample(b.x, b.y, b.state & ~mask)});
}

void IGContextX11::HandleMotion(XEvent& event)
{
  const XMotionEvent& m = event.xmotion;
  if (!(m.state & (Button1Mask | Button3Mask)))
  {
    const IMouseInfo sample = Sample(m.x, m.y, m.state);
    if (OnMouseOver(sample.x, sample.y, sample.ms))
      mLeaveTracked = true;
    return;
  }
  if (!mCaptured || GetControlInTextEntry())
    return;
  const float oldX = mLastX;
  const float oldY = mLastY;
  IMouseInfo sample = Sample(m.x, m.y, m.state);
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
    WarpPointer(hiddenX, hiddenY);
    mHiddenAtX = hiddenX;
    mHiddenAtY = hiddenY;
  }
}

void IGContextX11::HandleKey(XEvent& event)
{
  XKeyEvent& k = event.xkey;
  char text[8] = {};
  KeySym symbol = NoSymbol;
  const int length = XLookupString(&k, text, static_cast<int>(sizeof(text)) - 1, &symbol, nullptr);
  if (length <= 1)
  {
    // The code names the key, so it comes from the key's unshifted symbol.
    const KeySym unshifted = XLookupKeysym(&k, 0);
    // XLookupString gives Latin-1; the key's text is UTF-8.
    char character[3] = {};
    const auto byte = static_cast<unsigned char>(text[0]);
    if (length == 1 && byte < 0x80)
    {
      character[0] = static_cast<char>(byte);
    }
    else if (length == 1)
    {
      character[0] = static_cast<char>(0xC0 | (byte >> 6));
      character[1] = static_cast<char>(0x80 | (byte & 0x3F));
    }
    const IKeyPress key(character, VirtualKeyFromKeySym(unshifted != NoSymbol ? unshifted : symbol),
                        (k.state & ShiftMask) != 0, (k.state & ControlMask) != 0, (k.state & Mod1Mask) != 0);
    const float s = GetBackingPixelScale();
    const float x = static_cast<float>(k.x) / s;
    const float y = static_cast<float>(k.y) / s;
    if (event.type == KeyPress ? OnKeyDown(x, y, key) : OnKeyUp(x, y, key))
      return;
  }
  ForwardKeyToHost(event);
}

bool IGContextX11::IsTopLevel(XId window)
{
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (mWMStateAtom && XGetWindowProperty(mDisplay, window, mWMStateAtom, 0, 0, False, AnyPropertyType, &type,
                                         &format, &count, &after, &data) == Success)
  {
    if (data)
      XFree(data);
    if (type != None)
      return true; // a window the window manager manages
  }
  Window root = 0;
  const Window parent = ParentOf(mDisplay, window, &root);
  return parent == 0 || parent == root;
}

void IGContextX11::ForwardKeyToHost(XEvent& event)
{
  // The host's top-level window: the first ancestor the window manager manages, or the one just below the root.
  Window target = mParent;
  for (int depth = 0; target && depth < kMaxWindowDepth && !IsTopLevel(target); ++depth)
    target = ParentOf(mDisplay, target);
  if (!target)
    return;
  XEvent copy = event;
  copy.xkey.window = target;
  XSendEvent(mDisplay, target, False, event.type == KeyPress ? KeyPressMask : KeyReleaseMask, &copy);
  XFlush(mDisplay);
}

// --- Display tick and painting --------------------------------------------------------------------------------

bool IGContextX11::OnDisplayTick()
{
  if (!mDisplay || !mWindow)
    return false;
  Display* const display = mDisplay;
  XErrorTrap trap(display);
  ProcessPlatformEvents();
  if (mDisplay != display || !mWindow || mDisplayDead || mWindowDestroyed)
    return false;

  // A new density is taken over while no button is held. Compared with the density applied last, not with the
  // screen scale, so a scale the host set stays until the display's resolution really changes.
  if (!mCaptured && mDensity != mAppliedDensity)
  {
    mAppliedDensity = mDensity;
    SetScreenScale(mDensity);
  }

  IRectList rects;
  if (!IsDirty(rects))
    return false;
  SetAllControlsClean();
  const float s = GetBackingPixelScale();
  std::vector<IRect> pixelRects;
  pixelRects.reserve(static_cast<size_t>(rects.Size()));
  for (int i = 0; i < rects.Size(); ++i)
    pixelRects.push_back(PointsToPixels(rects.Get(i), s));
  Paint(pixelRects);
  XFlush(display);
  return true;
}

void IGContextX11::Paint(std::vector<IRect>& pixelRects)
{
  if (pixelRects.empty())
    return;
  const float s = GetBackingPixelScale();
  IRectList rects;
  for (const IRect& r : pixelRects)
    rects.Add(PixelsToPoints(r, s));
  // Draw aligns the regions to pixels and merges them; exactly those are copied.
  Draw(rects);
  for (int i = 0; i < rects.Size(); ++i)
    CopyToWindow(PointsToPixels(rects.Get(i), s));
}

void IGContextX11::PaintExposed()
{
  if (mExposed.empty())
    return;
  std::vector<IRect> exposed;
  exposed.swap(mExposed);
  if (mWindow && !mWindowDestroyed && !mDisplayDead)
    Paint(exposed);
}

void IGContextX11::CopyToWindow(const IRect& r)
{
  const int width = GetPixelWidth();
  const int height = GetPixelHeight();
  const int x0 = std::max(0, static_cast<int>(r.L));
  const int y0 = std::max(0, static_cast<int>(r.T));
  const int x1 = std::min(width, static_cast<int>(r.R));
  const int y1 = std::min(height, static_cast<int>(r.B));
  const uint8_t* pixels = GetPixels();
  if (!pixels || x1 <= x0 || y1 <= y0 || !mWindow || mWindowDestroyed)
    return;

  // The buffer as it is: 32-bit little-endian pixels, blue in the low byte. The alpha byte is not shown.
  XImage image{};
  image.width = width;
  image.height = height;
  image.format = ZPixmap;
  image.data = const_cast<char*>(reinterpret_cast<const char*>(pixels));
  image.byte_order = LSBFirst;
  image.bitmap_unit = 32;
  image.bitmap_bit_order = LSBFirst;
  image.bitmap_pad = 32;
  image.depth = 24;
  image.bytes_per_line = width * 4;
  image.bits_per_pixel = 32;
  image.red_mask = 0xFF0000;
  image.green_mask = 0xFF00;
  image.blue_mask = 0xFF;
  if (!XInitImage(&image))
    return;
  XPutImage(mDisplay, mWindow, mGC, &image, x0, y0, x0, y0, static_cast<unsigned>(x1 - x0),
            static_cast<unsigned>(y1 - y0));
}

void IGContextX11::PlatformResize(bool parentHasResized)
{
  if (!mDisplay || !mWindow || mWindowDestroyed || mDisplayDead)
    return;
  XErrorTrap trap(mDisplay);
  Window root = 0;
  int x = 0, y = 0;
  unsigned w = 0, h = 0, border = 0, depth = 0;
  if (!XGetGeometry(mDisplay, mWindow, &root, &x, &y, &w, &h, &border, &depth))
    return;
  const float pw = static_cast<float>(static_cast<int>(static_cast<float>(Width()) * mDrawScale)) * mScreenScale;
  const float ph = static_cast<float>(static_cast<int>(static_cast<float>(Height()) * mDrawScale)) * mScreenScale;
  const int dw = static_cast<int>(pw - static_cast<float>(w));
  const int dh = static_cast<int>(ph - static_cast<float>(h));
  if (dw == 0 && dh == 0)
    return;

  const auto grow = [this, dw, dh](Window window) {
    Window r = 0;
    int wx = 0, wy = 0;
    unsigned ww = 0, wh = 0, wb = 0, wd = 0;
    if (XGetGeometry(mDisplay, window, &r, &wx, &wy, &ww, &wh, &wb, &wd))
      XResizeWindow(mDisplay, window, static_cast<unsigned>(std::max(1, static_cast<int>(ww) + dw)),
                    static_cast<unsigned>(std::max(1, static_cast<int>(wh) + dh)));
  };
  grow(mWindow);
  if (!parentHasResized && mParent)
  {
    // The host did not resize its window, so it grows with the editor, and so does its parent when the host's
    // window is a child window itself.
    grow(mParent);
    if (!IsTopLevel(mParent))
    {
      const Window grandparent = ParentOf(mDisplay, mParent, &root);
      if (grandparent && grandparent != root)
        grow(grandparent);
    }
  }
  XFlush(mDisplay);
}

// --- Pointer and cursor ------------------------------------------------------------------------------------

void IGContextX11::GetMouseLocation(float& x, float& y) const
{
  x = mLastX;
  y = mLastY;
  if (!mDisplay || !mWindow || mWindowDestroyed || mDisplayDead)
    return;
  XErrorTrap trap(mDisplay);
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, winX = 0, winY = 0;
  unsigned mask = 0;
  if (XQueryPointer(mDisplay, mWindow, &root, &child, &rootX, &rootY, &winX, &winY, &mask))
  {
    const float s = GetBackingPixelScale();
    x = static_cast<float>(winX) / s;
    y = static_cast<float>(winY) / s;
  }
}

IGContextX11::XId IGContextX11::CursorFor(CursorType type)
{
  int index = static_cast<int>(type);
  if (index < 0 || index >= static_cast<int>(std::size(kCursorShapes)))
    index = 0;
  const auto it = mCursors.find(index);
  if (it != mCursors.end())
    return it->second;
  const Cursor cursor = XCreateFontCursor(mDisplay, kCursorShapes[index]);
  mCursors[index] = cursor;
  return cursor;
}

void IGContextX11::DefineCursor()
{
  if (!mDisplay || !mWindow || mWindowDestroyed || mDisplayDead)
    return;
  XErrorTrap trap(mDisplay);
  if (mCursorHidden && !mBlankCursor)
  {
    const char empty = 0;
    const Pixmap pixmap = XCreateBitmapFromData(mDisplay, mWindow, &empty, 1, 1);
    XColor black{};
    mBlankCursor = XCreatePixmapCursor(mDisplay, pixmap, pixmap, &black, &black, 0, 0);
    XFreePixmap(mDisplay, pixmap);
  }
  XDefineCursor(mDisplay, mWindow, mCursorHidden ? mBlankCursor : CursorFor(GetCursorType()));
  XFlush(mDisplay);
}

CursorType IGContextX11::SetMouseCursor(CursorType type)
{
  const CursorType previous = IGContext::SetMouseCursor(type);
  DefineCursor();
  return previous;
}

void IGContextX11::HideMouseCursor(bool hide, bool lock)
{
  if (hide == mCursorHidden)
    return;
  if (hide)
  {
    mHiddenAtX = mLastX;
    mHiddenAtY = mLastY;
    mCursorHidden = true;
    mCursorLock = lock;
  }
  else
  {
    if (mCursorLock)
      WarpPointer(mHiddenAtX, mHiddenAtY);
    mCursorHidden = false;
    mCursorLock = false;
  }
  DefineCursor();
}

void IGContextX11::MoveMouseCursor(float x, float y)
{
  WarpPointer(x, y);
}

void IGContextX11::WarpPointer(float x, float y)
{
  if (!mDisplay || !mWindow || mWindowDestroyed || mDisplayDead)
    return;
  XErrorTrap trap(mDisplay);
  const float s = GetBackingPixelScale();
  XWarpPointer(mDisplay, None, mWindow, 0, 0, 0, 0, static_cast<int>(std::round(s * x)),
               static_cast<int>(std::round(s * y)));
  // Where the pointer really is now; it may have been stopped at the screen's edge.
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, winX = 0, winY = 0;
  unsigned mask = 0;
  if (!XQueryPointer(mDisplay, mWindow, &root, &child, &rootX, &rootY, &winX, &winY, &mask))
    return;
  mLastX = mHiddenAtX = static_cast<float>(winX) / s;
  mLastY = mHiddenAtY = static_cast<float>(winY) / s;
}

// --- Services this host does not offer -----------------------------------------------------------------------

bool IGContextX11::GetTextFromClipboard(std::string& str)
{
  str.clear();
  return false;
}

int IGContextX11::ShowMessageBox(const char*, const char*, int, std::function<void(int)> completion)
{
  ReleaseMouseCapture();
  // The answer of a message box that could not be shown.
  constexpr int kFailed = 0;
  if (completion)
    completion(kFailed);
  return kFailed;
}

void IGContextX11::PromptForFile(std::string& fileName, std::string& path, int, const char*,
                                 std::function<void(const std::string&, const std::string&)> completion)
{
  fileName.clear();
  if (completion)
    completion(fileName, path);
  ReleaseMouseCapture();
}

void IGContextX11::PromptForDirectory(std::string& dir,
                                      std::function<void(const std::string&, const std::string&)> completion)
{
  dir.clear();
  if (completion)
    completion(std::string(), dir);
  ReleaseMouseCapture();
}

bool IGContextX11::PromptForColor(IColor&, const char*, std::function<void(const IColor&)>)
{
  ReleaseMouseCapture();
  return false;
}

void IGContextX11::CreatePlatformTextEntry(int, const IText&, const IRect&, int, const char*)
{
  ClearTextEntryTarget();
}

IPopupMenu* IGContextX11::CreatePlatformPopupMenu(IPopupMenu& menu, const IRect&, bool& isAsync)
{
  isAsync = false;
  menu.SetChosenItemIdx(-1);
  return nullptr;
}

} // namespace ondrell::graphics
