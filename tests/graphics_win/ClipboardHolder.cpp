// Another program holding the clipboard, for the window tests: opens it for a window of its own, puts a text on it,
// says so through the event named in its first argument and keeps the clipboard open until the event named in its
// second argument is set (at most 10 seconds).

#include "graphics/win/WinApi.h"

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
  // A message-only window: the clipboard is held by a window, as a program with a user interface holds it.
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (argc < 3 || !window || !OpenClipboard(window))
    return 1;
  EmptyClipboard();
  static const wchar_t kText[] = L"held elsewhere";
  if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(kText)))
  {
    std::wmemcpy(static_cast<wchar_t*>(GlobalLock(block)), kText, sizeof(kText) / sizeof(wchar_t));
    GlobalUnlock(block);
    if (!SetClipboardData(CF_UNICODETEXT, block))
      GlobalFree(block);
  }
  HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
  HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[2]);
  if (held)
    SetEvent(held);
  if (release)
    WaitForSingleObject(release, 10000);
  CloseClipboard();
  DestroyWindow(window);
  return 0;
}
