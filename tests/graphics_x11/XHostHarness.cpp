#include "tests/graphics_x11/XHostHarness.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace quorl_test {
namespace {

std::atomic<int> gHostErrors{0};

int CountingHandler(Display*, XErrorEvent*)
{
  gHostErrors.fetch_add(1);
  return 0;
}

} // namespace

XHostHarness::XHostHarness(const std::string& displayName)
{
  mDisplay = XOpenDisplay(displayName.c_str());
  mPreviousHandler = XSetErrorHandler(&CountingHandler);
}

XHostHarness::~XHostHarness()
{
  if (mDisplay)
    XCloseDisplay(mDisplay);
  XSetErrorHandler(mPreviousHandler);
}

Window XHostHarness::Root() const
{
  return DefaultRootWindow(mDisplay);
}

Window XHostHarness::MakeWindow(int w, int h, int x, int y, Window parent)
{
  XSetWindowAttributes attributes{};
  attributes.background_pixel = 0x203040;
  attributes.event_mask = KeyPressMask | KeyReleaseMask | StructureNotifyMask;
  const Window window = XCreateWindow(mDisplay, parent ? parent : Root(), x, y, static_cast<unsigned>(w),
                                      static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                                      CWBackPixel | CWEventMask, &attributes);
  XMapWindow(mDisplay, window);
  Sync();
  return window;
}

void XHostHarness::DestroyWindow(Window window)
{
  XDestroyWindow(mDisplay, window);
  Sync();
}

std::vector<Window> XHostHarness::Children(Window window)
{
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  std::vector<Window> out;
  if (XQueryTree(mDisplay, window, &root, &parent, &children, &count))
  {
    out.assign(children, children + count);
    if (children)
      XFree(children);
  }
  return out;
}

Window XHostHarness::OnlyChild(Window parent)
{
  const std::vector<Window> children = Children(parent);
  return children.size() == 1 ? children.front() : 0;
}

bool XHostHarness::Size(Window window, int& w, int& h)
{
  Window root = 0;
  int x = 0, y = 0;
  unsigned ww = 0, wh = 0, border = 0, depth = 0;
  if (!XGetGeometry(mDisplay, window, &root, &x, &y, &ww, &wh, &border, &depth))
    return false;
  w = static_cast<int>(ww);
  h = static_cast<int>(wh);
  return true;
}

bool XHostHarness::Position(Window window, int& x, int& y)
{
  Window root = 0;
  unsigned ww = 0, wh = 0, border = 0, depth = 0;
  return XGetGeometry(mDisplay, window, &root, &x, &y, &ww, &wh, &border, &depth) != 0;
}

bool XHostHarness::Viewable(Window window)
{
  XWindowAttributes attributes{};
  return XGetWindowAttributes(mDisplay, window, &attributes) && attributes.map_state == IsViewable;
}

void XHostHarness::Button(Window window, bool press, unsigned button, int x, int y, unsigned state, Time time)
{
  XEvent event{};
  XButtonEvent& b = event.xbutton;
  b.type = press ? ButtonPress : ButtonRelease;
  b.display = mDisplay;
  b.window = window;
  b.root = Root();
  b.time = time;
  b.x = x;
  b.y = y;
  b.x_root = x;
  b.y_root = y;
  b.state = state;
  b.button = button;
  b.same_screen = True;
  XSendEvent(mDisplay, window, False, press ? ButtonPressMask : ButtonReleaseMask, &event);
  Sync();
}

void XHostHarness::Motion(Window window, int x, int y, unsigned state, Time time)
{
  XEvent event{};
  XMotionEvent& m = event.xmotion;
  m.type = MotionNotify;
  m.display = mDisplay;
  m.window = window;
  m.root = Root();
  m.time = time;
  m.x = x;
  m.y = y;
  m.x_root = x;
  m.y_root = y;
  m.state = state;
  m.same_screen = True;
  XSendEvent(mDisplay, window, False, PointerMotionMask, &event);
  Sync();
}

void XHostHarness::Crossing(Window window, bool enter, int x, int y)
{
  XEvent event{};
  XCrossingEvent& c = event.xcrossing;
  c.type = enter ? EnterNotify : LeaveNotify;
  c.display = mDisplay;
  c.window = window;
  c.root = Root();
  c.x = x;
  c.y = y;
  c.mode = NotifyNormal;
  c.detail = NotifyAncestor;
  c.same_screen = True;
  XSendEvent(mDisplay, window, False, enter ? EnterWindowMask : LeaveWindowMask, &event);
  Sync();
}

void XHostHarness::Key(Window window, bool press, KeySym symbol, unsigned state)
{
  KeyByCode(window, press, static_cast<unsigned>(XKeysymToKeycode(mDisplay, symbol)), state);
}

unsigned XHostHarness::MapSpareKey(KeySym symbol)
{
  int first = 0, last = 0;
  XDisplayKeycodes(mDisplay, &first, &last);
  int perKey = 0;
  KeySym* map = XGetKeyboardMapping(mDisplay, static_cast<KeyCode>(first), last - first + 1, &perKey);
  if (!map)
    return 0;
  unsigned spare = 0;
  for (int code = last; code >= first && spare == 0; --code)
  {
    bool empty = true;
    for (int j = 0; j < perKey; ++j)
      empty = empty && map[(code - first) * perKey + j] == NoSymbol;
    if (empty)
      spare = static_cast<unsigned>(code);
  }
  XFree(map);
  if (spare != 0)
  {
    KeySym symbols[1] = {symbol};
    XChangeKeyboardMapping(mDisplay, static_cast<int>(spare), 1, symbols, 1);
    Sync();
  }
  return spare;
}

void XHostHarness::KeyByCode(Window window, bool press, unsigned keycode, unsigned state)
{
  XEvent event{};
  XKeyEvent& k = event.xkey;
  k.type = press ? KeyPress : KeyRelease;
  k.display = mDisplay;
  k.window = window;
  k.root = Root();
  k.x = 10;
  k.y = 10;
  k.state = state;
  k.keycode = keycode;
  k.same_screen = True;
  XSendEvent(mDisplay, window, False, press ? KeyPressMask : KeyReleaseMask, &event);
  Sync();
}

void XHostHarness::Scribble(Window window, int x, int y, int w, int h)
{
  const GC gc = XCreateGC(mDisplay, window, 0, nullptr);
  XSetForeground(mDisplay, gc, 0x00FF00);
  XFillRectangle(mDisplay, window, gc, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
  XFreeGC(mDisplay, gc);
  XClearArea(mDisplay, window, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), True);
  Sync();
}

std::vector<uint32_t> XHostHarness::Grab(Window window, int& w, int& h)
{
  std::vector<uint32_t> pixels;
  if (!Size(window, w, h))
    return pixels;
  XImage* image = XGetImage(mDisplay, window, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes,
                            ZPixmap);
  if (!image)
    return pixels;
  pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
        static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu;
  XDestroyImage(image);
  return pixels;
}

void XHostHarness::SetResources(const char* text)
{
  if (text)
    XChangeProperty(mDisplay, Root(), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
  else
    XDeleteProperty(mDisplay, Root(), XA_RESOURCE_MANAGER);
  Sync();
}

bool XHostHarness::Pointer(Window window, int& x, int& y)
{
  Window root = 0, child = 0;
  int rx = 0, ry = 0;
  unsigned mask = 0;
  return XQueryPointer(mDisplay, window, &root, &child, &rx, &ry, &x, &y, &mask) != 0;
}

void XHostHarness::WarpPointer(Window window, int x, int y)
{
  XWarpPointer(mDisplay, None, window, 0, 0, 0, 0, x, y);
  Sync();
}

void XHostHarness::Sync()
{
  XSync(mDisplay, False);
}

std::vector<XHostHarness::KeySeen> XHostHarness::HostKeys(Window hostWindow, std::chrono::milliseconds wait)
{
  std::vector<KeySeen> keys;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (std::chrono::steady_clock::now() < deadline)
  {
    XSync(mDisplay, False);
    XEvent event;
    while (XCheckWindowEvent(mDisplay, hostWindow, KeyPressMask | KeyReleaseMask, &event))
      keys.push_back({event.xkey.keycode, event.type == KeyPress, event.xkey.send_event != 0});
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return keys;
}

int XHostHarness::HostErrors()
{
  return gHostErrors.load();
}

bool XHostHarness::HostHandlerInstalled()
{
  const XErrorHandler current = XSetErrorHandler(&CountingHandler);
  return current == &CountingHandler;
}

bool WaitUntil(const std::function<bool()>& done, const std::function<void()>& step,
               std::chrono::milliseconds timeout)
{
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;)
  {
    if (step)
      step();
    if (done())
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

} // namespace quorl_test
