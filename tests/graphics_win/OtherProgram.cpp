// Another program for the window tests, in one of two parts:
//   clipboard <ready event> <release event>   opens the clipboard for a window of its own and puts a text on it;
//   window <ready event> <release event> <title>   shows a top-level window with that title.
// It sets the ready event when done and keeps things as they are until the release event is set (at most 10 s).

#include "graphics/win/WinApi.h"

#include <cwchar>

namespace {

constexpr DWORD kMaxWaitMs = 10000;

bool HoldClipboard()
{
  // A message-only window: the clipboard is held by a window, as a program with a user interface holds it.
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (!window || !OpenClipboard(window))
    return false;
  EmptyClipboard();
  static const wchar_t kText[] = L"held elsewhere";
  if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(kText)))
  {
    std::wmemcpy(static_cast<wchar_t*>(GlobalLock(block)), kText, sizeof(kText) / sizeof(wchar_t));
    GlobalUnlock(block);
    if (!SetClipboardData(CF_UNICODETEXT, block))
      GlobalFree(block);
  }
  return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
  if (argc < 4)
    return 1;
  const bool clipboard = std::wcscmp(argv[1], L"clipboard") == 0;
  HWND window = nullptr;
  if (clipboard)
  {
    if (!HoldClipboard())
      return 1;
  }
  else if (std::wcscmp(argv[1], L"window") == 0 && argc >= 5)
  {
    window = CreateWindowExW(0, L"STATIC", argv[4], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 400, nullptr,
                             nullptr, nullptr, nullptr);
    if (!window)
      return 1;
  }
  else
  {
    return 1;
  }
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
  HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
  if (ready)
    SetEvent(ready);
  const ULONGLONG end = GetTickCount64() + kMaxWaitMs;
  while (release && GetTickCount64() < end &&
         MsgWaitForMultipleObjects(1, &release, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0)
  {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&msg);
  }
  if (clipboard)
    CloseClipboard();
  if (window)
    DestroyWindow(window);
  return 0;
}
