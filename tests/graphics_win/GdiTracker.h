#pragma once

// Counts the GDI objects and device contexts a loaded module makes and gives back, by putting counting stand-ins
// into its import table for the system's functions that make and free them. (Wine's GetGuiResources reports
// nothing, so the count is taken where the module calls the system.) One tracker at a time; restores the table
// when destroyed.

#include "graphics/win/WinApi.h"

namespace quorl_test {

// Threads: the counting stand-ins may run on any thread (the vertical-blank thread takes device contexts).
class GdiTracker
{
public:
  explicit GdiTracker(HMODULE module);
  ~GdiTracker();
  GdiTracker(const GdiTracker&) = delete;
  GdiTracker& operator=(const GdiTracker&) = delete;

  // How many of the module's imports were replaced; 0 when nothing could be tracked.
  int Hooked() const { return mHooked; }
  // Objects, device contexts and private fonts the module made and has not given back yet.
  static int Live();
  // How many objects it made in all.
  static int Made();

private:
  struct Patch
  {
    void** slot;
    void* original;
  };
  void PatchImports(HMODULE module);

  Patch mPatches[32] = {};
  int mHooked = 0;
};

} // namespace quorl_test
