#pragma once

// A private X server for the window tests: Xvfb on a display number it picks itself, with one 24-bit screen.
// Tests skip when it cannot be started.

#include <sys/types.h>

#include <string>

namespace quorl_test {

class XvfbServer
{
public:
  XvfbServer(int width = 1600, int height = 1200);
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool Running() const { return mPid > 0; }
  // The display name, ":N".
  const std::string& Name() const { return mName; }
  // Ends the server at once, as a crash would.
  void Kill();

private:
  pid_t mPid = -1;
  std::string mName;
};

} // namespace quorl_test
