#include "tests/graphics_win/WinTestSupport.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace quorl_test {

namespace {

constexpr const wchar_t* kHostClass = L"QuorlTestHostWindow";
constexpr const wchar_t* kPanelClass = L"QuorlTestHostPanel";

void RegisterHostClasses()
{
  static const bool registered = [] {
    WNDCLASSW host{};
    host.lpfnWndProc = &DefWindowProcW;
    host.hInstance = GetModuleHandleW(nullptr);
    host.lpszClassName = kHostClass;
    host.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    host.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassW(&host);
    WNDCLASSW panel = host;
    panel.lpszClassName = kPanelClass;
    panel.hbrBackground = static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH));
    RegisterClassW(&panel);
    return true;
  }();
  (void)registered;
}

std::map<UINT_PTR, ModalHelper*>& Helpers()
{
  static std::map<UINT_PTR, ModalHelper*> helpers;
  return helpers;
}

struct ThreadWindowSearch
{
  const wchar_t* className;
  HWND found = nullptr;
};

BOOL CALLBACK FindByClass(HWND window, LPARAM parameter)
{
  auto* search = reinterpret_cast<ThreadWindowSearch*>(parameter);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (IsWindowVisible(window) && wcscmp(name, search->className) == 0)
  {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

} // namespace

void PumpMessages(int ms)
{
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::max(ms, 0));
  do
  {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (GetTickCount64() >= end)
      break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (GetTickCount64() < end);
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs)
{
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  while (!pred())
  {
    if (GetTickCount64() >= end)
      return pred();
    PumpMessages(10);
  }
  return true;
}

// ---- HostWindow ------------------------------------------------------------------------------------------

HostWindow::HostWindow(int clientW, int clientH, bool withPanel)
{
  RegisterHostClasses();
  RECT r{0, 0, clientW, clientH};
  AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
  mTopLevel = CreateWindowExW(0, kHostClass, L"Quorl test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(mTopLevel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(mTopLevel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc));
  if (withPanel)
    mPanel = CreateWindowExW(0, kPanelClass, L"panel", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, clientW, clientH,
                             mTopLevel, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(mTopLevel, SW_SHOWNORMAL);
  UpdateWindow(mTopLevel);
  SetForegroundWindow(mTopLevel);
  PumpMessages(20);
}

HostWindow::~HostWindow()
{
  Destroy();
}

void HostWindow::Destroy()
{
  if (mTopLevel && IsWindow(mTopLevel))
    DestroyWindow(mTopLevel);
  mTopLevel = nullptr;
  mPanel = nullptr;
}

LRESULT CALLBACK HostWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && (msg == WM_KEYDOWN || msg == WM_KEYUP))
  {
    self->keys.push_back({msg, wParam, lParam});
    if (self->passKeysTo)
      SendMessageW(self->passKeysTo, msg, wParam, lParam);
    return 0;
  }
  if (self && msg == WM_NCDESTROY)
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// ---- Windows and pixels --------------------------------------------------------------------------------------

std::vector<HWND> Children(HWND parent)
{
  std::vector<HWND> out;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    out.push_back(child);
  return out;
}

HWND OnlyChild(HWND parent)
{
  const std::vector<HWND> children = Children(parent);
  return children.size() == 1 ? children.front() : nullptr;
}

bool ClientSize(HWND window, int& w, int& h)
{
  RECT r{};
  if (!window || !GetClientRect(window, &r))
    return false;
  w = r.right - r.left;
  h = r.bottom - r.top;
  return true;
}

std::vector<uint32_t> Grab(HWND window, int& w, int& h)
{
  w = h = 0;
  if (!ClientSize(window, w, h) || w <= 0 || h <= 0)
    return {};
  HDC source = GetDC(window);
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY);
  GdiFlush();
  std::vector<uint32_t> out = ToRgb(static_cast<const uint8_t*>(bits), w, h);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, source);
  return out;
}

std::vector<uint32_t> ToRgb(const uint8_t* p, int w, int h)
{
  std::vector<uint32_t> out(static_cast<size_t>(w) * static_cast<size_t>(h));
  if (!p)
    return {};
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<uint32_t>(p[4 * i]) | static_cast<uint32_t>(p[4 * i + 1]) << 8 |
             static_cast<uint32_t>(p[4 * i + 2]) << 16;
  return out;
}

size_t CountDifferences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
  if (a.size() != b.size())
    return std::max(a.size(), b.size());
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i)
    n += a[i] != b[i];
  return n;
}

int ProcessThreadCount()
{
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return -1;
  int n = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    n += entry.th32OwnerProcessID == self;
  CloseHandle(snapshot);
  return n;
}

int ThreadWindowCount(DWORD threadId)
{
  int n = 0;
  EnumThreadWindows(
    threadId,
    [](HWND, LPARAM count) -> BOOL {
      ++*reinterpret_cast<int*>(count);
      return TRUE;
    },
    reinterpret_cast<LPARAM>(&n));
  return n;
}

// ---- Modal loops ---------------------------------------------------------------------------------------------

ModalHelper::ModalHelper(std::function<bool()> action) : mAction(std::move(action)), mStart(GetTickCount64())
{
  mTimer = SetTimer(nullptr, 0, 20, &Tick);
  Helpers()[mTimer] = this;
}

ModalHelper::~ModalHelper()
{
  if (mTimer)
  {
    KillTimer(nullptr, mTimer);
    Helpers().erase(mTimer);
  }
}

void CALLBACK ModalHelper::Tick(HWND, UINT, UINT_PTR id, DWORD)
{
  const auto it = Helpers().find(id);
  if (it == Helpers().end())
    return;
  ModalHelper* self = it->second;
  if (self->mDone)
    return;
  if (!self->mAction())
  {
    if (GetTickCount64() - self->mStart > 10000)
    {
      EndMenu();
      if (HWND dialog = FindThreadWindow(L"#32770"))
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    return;
  }
  self->mDone = true;
  KillTimer(nullptr, self->mTimer);
  Helpers().erase(self->mTimer);
  self->mTimer = 0;
}

HWND FindThreadWindow(const wchar_t* className)
{
  ThreadWindowSearch search{className};
  EnumThreadWindows(GetCurrentThreadId(), &FindByClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring WindowText(HWND window)
{
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// ---- Another program ----------------------------------------------------------------------------------------

OtherProgram::OtherProgram(const wchar_t* part, const std::wstring& argument)
{
  static int serial = 0;
  const std::wstring suffix = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
  const std::wstring ready = L"QuorlOtherProgramReady-" + suffix;
  const std::wstring release = L"QuorlOtherProgramRelease-" + suffix;
  mReadyEvent = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
  mReleaseEvent = CreateEventW(nullptr, TRUE, FALSE, release.c_str());
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring program(self);
  program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"quorl-other-program.exe";
  std::wstring commandLine = L"\"" + program + L"\" " + part + L" " + ready + L" " + release;
  if (!argument.empty())
    commandLine += L" \"" + argument + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &mProcess))
  {
    const HANDLE waits[] = {mReadyEvent, mProcess.hProcess};
    mReady = WaitForMultipleObjects(2, waits, FALSE, 10000) == WAIT_OBJECT_0;
  }
}

OtherProgram::~OtherProgram()
{
  Finish();
  CloseHandle(mReadyEvent);
  CloseHandle(mReleaseEvent);
}

int OtherProgram::Finish()
{
  if (!mProcess.hProcess)
    return mExitCode;
  SetEvent(mReleaseEvent);
  if (WaitForSingleObject(mProcess.hProcess, 15000) == WAIT_OBJECT_0)
  {
    DWORD code = 0;
    GetExitCodeProcess(mProcess.hProcess, &code);
    mExitCode = static_cast<int>(code);
  }
  CloseHandle(mProcess.hProcess);
  CloseHandle(mProcess.hThread);
  mProcess = {};
  return mExitCode;
}

// ---- Files ---------------------------------------------------------------------------------------------------

std::wstring WindowsPath(const std::string& path)
{
  std::wstring wide(path.begin(), path.end());
  if (!wide.empty() && wide.front() == L'/')
    wide = L"Z:" + wide;
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

std::wstring MakeTempFolder(const wchar_t* prefix)
{
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  for (unsigned n = GetTickCount();; ++n)
  {
    std::wstring folder = std::wstring(base) + prefix + std::to_wstring(n);
    if (CreateDirectoryW(folder.c_str(), nullptr))
      return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
      return {};
  }
}

void RemoveFolder(const std::wstring& folder)
{
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(folder), ec);
}

} // namespace quorl_test
