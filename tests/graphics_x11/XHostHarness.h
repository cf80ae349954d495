#pragma once

// The host's side of the window tests: a display connection of the test's own that makes the host window, finds
// the editor's child window, sends it pointer, key and expose events the way the server would deliver them,
// reads back what is on the screen and sets the server's resources (Xft.dpi). It also installs an X error handler
// standing for the host's, which counts every error it is handed: the editor's own errors must never reach it.
// Xlib's macros (None, Bool, Status...) clash with other headers, so include this one last.

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorl_test {

class XHostHarness
{
public:
  explicit XHostHarness(const std::string& displayName);
  ~XHostHarness();
  XHostHarness(const XHostHarness&) = delete;
  XHostHarness& operator=(const XHostHarness&) = delete;

  bool Connected() const { return mDisplay != nullptr; }
  Display* D() const { return mDisplay; }
  Window Root() const;

  // A mapped top-level window (the host's editor frame), w x h at (x, y).
  Window MakeWindow(int w, int h, int x = 20, int y = 20, Window parent = 0);
  void DestroyWindow(Window window);
  std::vector<Window> Children(Window window);
  // The single child of parent, or 0 when it has none or several.
  Window OnlyChild(Window parent);
  bool Size(Window window, int& w, int& h);
  bool Position(Window window, int& x, int& y);
  bool Viewable(Window window);

  // Synthetic events, as the server would deliver them to window (coordinates relative to it).
  void Button(Window window, bool press, unsigned button, int x, int y, unsigned state, Time time);
  void Motion(Window window, int x, int y, unsigned state, Time time);
  void Crossing(Window window, bool enter, int x, int y);
  void Key(Window window, bool press, KeySym symbol, unsigned state = 0);
  void KeyByCode(Window window, bool press, unsigned keycode, unsigned state = 0);
  // Gives a key that has no symbols this one (as a new keyboard layout would); returns its code, 0 when none is free.
  unsigned MapSpareKey(KeySym symbol);
  // Paints over part of window with a plain colour from this connection, then asks the server to expose it.
  void Scribble(Window window, int x, int y, int w, int h);

  // The window's pixels as 0xRRGGBB, row by row; empty when they cannot be read.
  std::vector<uint32_t> Grab(Window window, int& w, int& h);
  // Sets the root window's RESOURCE_MANAGER text; null removes it.
  void SetResources(const char* text);
  // The pointer position relative to window.
  bool Pointer(Window window, int& x, int& y);
  void WarpPointer(Window window, int x, int y);

  // Waits until the server has handled every request of this connection.
  void Sync();
  // Key events the host window received (sent on by the editor), in order: keycode and press or release.
  struct KeySeen
  {
    unsigned keycode;
    bool press;
    bool sent;
  };
  std::vector<KeySeen> HostKeys(Window hostWindow, std::chrono::milliseconds wait);

  // Errors the stand-in host handler was handed, and whether it is still the installed handler.
  static int HostErrors();
  bool HostHandlerInstalled();

private:
  Display* mDisplay = nullptr;
  XErrorHandler mPreviousHandler = nullptr;
};

// Polls until done() holds or the time runs out, calling step() between tries.
bool WaitUntil(const std::function<bool()>& done, const std::function<void()>& step,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

} // namespace quorl_test
