#pragma once

// What the Windows window tests share: a host's top-level window (optionally with a panel between it and the
// editor) that records the keys it receives, a message loop that runs until a condition holds, the pixels a window
// shows, counts of this process's threads and of a thread's windows, and a helper that acts inside the modal loops
// of menus and dialogs.

#include "graphics/win/WinApi.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorl_test {

// Handles this thread's messages for ms milliseconds (at least one pass).
void PumpMessages(int ms);
// Handles messages until pred holds or timeoutMs pass; true when it held.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

// A visible top-level window of the given client size at the screen's top-left; with a panel, a child window
// filling it that is the editor's parent instead (a host whose editor area is a child window of its main window).
// Records the key messages that reach the top-level window and can pass them back to a window of choice.
class HostWindow
{
public:
  explicit HostWindow(int clientW = 800, int clientH = 300, bool withPanel = false);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND TopLevel() const { return mTopLevel; }
  HWND Panel() const { return mPanel; }
  // The window the editor goes into: the panel when there is one.
  HWND Parent() const { return mPanel ? mPanel : mTopLevel; }
  void* ParentHandle() const { return Parent(); }
  void Destroy();

  struct Key
  {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  };
  std::vector<Key> keys;
  // When set, every key the top-level window receives is sent on to this window (a host that passes keys down).
  HWND passKeysTo = nullptr;

private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND mTopLevel = nullptr;
  HWND mPanel = nullptr;
};

// The only child window of parent, or null when it has none or several.
HWND OnlyChild(HWND parent);
std::vector<HWND> Children(HWND parent);
// The client size of a window.
bool ClientSize(HWND window, int& w, int& h);
// The window's client area as it shows on the screen, as 0xRRGGBB rows top to bottom.
std::vector<uint32_t> Grab(HWND window, int& w, int& h);
// A BGRA buffer (as the drawing backend keeps it) as 0xRRGGBB.
std::vector<uint32_t> ToRgb(const uint8_t* bgra, int w, int h);
size_t CountDifferences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);

// Threads of this process, and the top-level windows a thread owns.
int ProcessThreadCount();
int ThreadWindowCount(DWORD threadId = GetCurrentThreadId());

// Runs action every 20 ms on this thread (a thread timer, so it also runs inside a menu's or dialog's modal loop)
// until it returns true, or until the helper is destroyed. A modal loop the action has not ended after 10 seconds
// is ended by the helper (the menu closed, a dialog cancelled), so a failing test does not hang.
class ModalHelper
{
public:
  explicit ModalHelper(std::function<bool()> action);
  ~ModalHelper();
  ModalHelper(const ModalHelper&) = delete;
  ModalHelper& operator=(const ModalHelper&) = delete;
  bool Done() const { return mDone; }

private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);
  std::function<bool()> mAction;
  UINT_PTR mTimer = 0;
  ULONGLONG mStart = 0;
  bool mDone = false;
};

// The first visible window of this thread with the class name (for instance "#32770", dialogs, or "#32768", menus).
HWND FindThreadWindow(const wchar_t* className);
std::wstring WindowText(HWND window);

// quorl-other-program.exe (next to this program) in one of its parts: "clipboard" holds the clipboard, "window"
// shows a top-level window titled with the argument. Started by the constructor, released and awaited by Finish
// or the destructor.
class OtherProgram
{
public:
  OtherProgram(const wchar_t* part, const std::wstring& argument = L"");
  ~OtherProgram();
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;
  // Whether it started and did its part (within 10 seconds).
  bool Ready() const { return mReady; }
  // Lets it end and returns its exit code (-1 when it did not end).
  int Finish();

private:
  HANDLE mReadyEvent = nullptr;
  HANDLE mReleaseEvent = nullptr;
  PROCESS_INFORMATION mProcess{};
  bool mReady = false;
  int mExitCode = -1;
};

// A path as Windows sees it: a Unix path (from the build) gets the drive that Wine maps the root to.
std::wstring WindowsPath(const std::string& path);
// A new empty folder under the temporary folder; removed again by the caller.
std::wstring MakeTempFolder(const wchar_t* prefix);
void RemoveFolder(const std::wstring& folder);

} // namespace quorl_test
