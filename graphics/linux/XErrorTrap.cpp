#include "graphics/linux/XErrorTrap.h"

#include <array>
#include <atomic>

namespace ondrell::graphics {
namespace {

// Process-wide, as Xlib's handlers are. Changed only by the thread that makes traps; read by the handlers.
struct TrapRegistry
{
  static constexpr int kSlots = 32;
  // The trapped displays, one slot per live trap (a display trapped by nested traps fills several slots).
  std::array<std::atomic<Display*>, kSlots> displays{};
  std::atomic<int> depth{0};
  std::atomic<XErrorHandler> previousError{nullptr};
  std::atomic<XIOErrorHandler> previousIOError{nullptr};
  std::atomic<unsigned> errors{0};
};

TrapRegistry& Registry()
{
  static TrapRegistry registry;
  return registry;
}

bool IsTrapped(Display* display)
{
  if (!display)
    return false;
  for (const auto& slot : Registry().displays)
  {
    if (slot.load() == display)
      return true;
  }
  return false;
}

int OnError(Display* display, XErrorEvent* event)
{
  TrapRegistry& registry = Registry();
  if (IsTrapped(display))
  {
    registry.errors.fetch_add(1);
    return 0;
  }
  const XErrorHandler previous = registry.previousError.load();
  return previous ? previous(display, event) : 0;
}

int OnIOError(Display* display)
{
  // For a trapped display this returns to Xlib, which then calls the display's own exit handler (set by
  // SurviveConnectionLoss) instead of ending the process.
  if (IsTrapped(display))
    return 0;
  const XIOErrorHandler previous = Registry().previousIOError.load();
  return previous ? previous(display) : 0;
}

void MarkDead(Display*, void* dead)
{
  if (dead)
    *static_cast<bool*>(dead) = true;
}

} // namespace

XErrorTrap::XErrorTrap(Display* display) : mDisplay(display)
{
  if (!mDisplay)
    return;
  TrapRegistry& registry = Registry();
  for (auto& slot : registry.displays)
  {
    Display* expected = nullptr;
    if (slot.compare_exchange_strong(expected, mDisplay))
    {
      mRegistered = true;
      break;
    }
  }
  if (!mRegistered)
    return; // more nesting than any caller does; the errors then reach the previous handlers
  if (registry.depth.fetch_add(1) == 0)
  {
    registry.previousError.store(XSetErrorHandler(&OnError));
    registry.previousIOError.store(XSetIOErrorHandler(&OnIOError));
  }
  mErrorsAtStart = registry.errors.load();
}

XErrorTrap::~XErrorTrap()
{
  if (!mRegistered)
    return;
  // No wait for the server here: an error of a request sent inside this trap can only be delivered while the
  // connection is read, which happens inside a later trap of the window host.
  TrapRegistry& registry = Registry();
  if (registry.depth.fetch_sub(1) == 1)
  {
    // Should a handler have been put in place after ours, it stays.
    const XErrorHandler current = XSetErrorHandler(registry.previousError.load());
    if (current != &OnError)
      XSetErrorHandler(current);
    const XIOErrorHandler currentIO = XSetIOErrorHandler(registry.previousIOError.load());
    if (currentIO != &OnIOError)
      XSetIOErrorHandler(currentIO);
  }
  for (auto& slot : registry.displays)
  {
    Display* expected = mDisplay;
    if (slot.compare_exchange_strong(expected, nullptr))
      break;
  }
}

bool XErrorTrap::SyncFailed()
{
  if (mDisplay)
    XSync(mDisplay, False);
  return Failed();
}

bool XErrorTrap::Failed() const
{
  return mRegistered && Registry().errors.load() != mErrorsAtStart;
}

void XErrorTrap::SurviveConnectionLoss(Display* display, bool* dead)
{
  if (display)
    XSetIOErrorExitHandler(display, &MarkDead, dead);
}

unsigned XErrorTrap::ErrorCount()
{
  return Registry().errors.load();
}

} // namespace ondrell::graphics
