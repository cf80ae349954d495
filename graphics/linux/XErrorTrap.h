#pragma once

// Keeps X errors of the editor's own display connection away from the host. Xlib reports protocol errors and
// broken connections through handlers that are process-wide and, left at their defaults, end the process. A trap
// installs handlers that swallow (and count) what concerns the trapped connections and pass everything else on
// to the handlers that were in place before, then puts those back.
//
// Xlib delivers an error only while the connection it belongs to is being read, and the editor's connection is
// only read inside the editor's own calls. So every entry point of the window host that talks to the server holds
// a trap for its whole length, and no error of the editor's connection can ever reach the host's handlers.
//
// Threads: traps are made on the host's main thread; the handlers may run on any thread and read only atomics.

#include <X11/Xlib.h>

namespace ondrell::graphics {

class XErrorTrap
{
public:
  // Traps the errors of display (null traps nothing). Traps nest, for the same or for other displays.
  explicit XErrorTrap(Display* display);
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // Waits until the server has handled every request sent so far; true when any error of the trapped display
  // arrived since this trap was made.
  bool SyncFailed();
  // Whether an error arrived since this trap was made, without waiting for the server.
  bool Failed() const;

  // Makes a broken connection to display return to its caller instead of ending the process; Xlib then treats
  // the connection as dead and answers every later call on it without talking to the server. dead (may be null)
  // becomes true when that happens. Set once, right after the connection is opened.
  static void SurviveConnectionLoss(Display* display, bool* dead);

  // The number of errors of trapped displays so far (process-wide).
  static unsigned ErrorCount();

private:
  Display* mDisplay;
  bool mRegistered = false;
  unsigned mErrorsAtStart = 0;
};

} // namespace ondrell::graphics
