#include "graphics/win/WinVBlankThread.h"

#include "graphics/win/WinApi.h"

#include <utility>

namespace ondrell::graphics {

struct WinVBlankThread::Shared
{
  HWND window = nullptr;
  std::wstring library;
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> counter{0};
  std::atomic<int> pacing{static_cast<int>(Pacing::Starting)};
};

namespace {

// The kernel-mode display records the three functions take (d3dkmthk.h).
using KmtHandle = UINT;
struct KmtOpenAdapterFromHdc
{
  HDC hDc;
  KmtHandle hAdapter;
  LUID AdapterLuid;
  UINT VidPnSourceId;
};
struct KmtWaitForVerticalBlankEvent
{
  KmtHandle hAdapter;
  KmtHandle hDevice;
  UINT VidPnSourceId;
};
struct KmtCloseAdapter
{
  KmtHandle hAdapter;
};
using OpenAdapterFromHdcFn = LONG(APIENTRY*)(KmtOpenAdapterFromHdc*);
using WaitForVerticalBlankEventFn = LONG(APIENTRY*)(const KmtWaitForVerticalBlankEvent*);
using CloseAdapterFn = LONG(APIENTRY*)(const KmtCloseAdapter*);

bool NtSuccess(LONG status) { return status >= 0; }

template <typename Fn>
Fn Lookup(HMODULE module, const char* name)
{
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

void PostTick(WinVBlankThread::Shared& shared)
{
  const uint32_t n = shared.counter.fetch_add(1, std::memory_order_acq_rel) + 1;
  PostMessageW(shared.window, WinVBlankThread::kTickMessage, static_cast<WPARAM>(n), 0);
}

void SetPacing(WinVBlankThread::Shared& shared, WinVBlankThread::Pacing pacing)
{
  shared.pacing.store(static_cast<int>(pacing), std::memory_order_release);
}

bool Stopping(const WinVBlankThread::Shared& shared) { return shared.stop.load(std::memory_order_acquire); }

void Run(WinVBlankThread::Shared& shared)
{
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  HMODULE gdi = LoadLibraryW(shared.library.c_str());
  const auto open = Lookup<OpenAdapterFromHdcFn>(gdi, "D3DKMTOpenAdapterFromHdc");
  const auto close = Lookup<CloseAdapterFn>(gdi, "D3DKMTCloseAdapter");
  const auto wait = Lookup<WaitForVerticalBlankEventFn>(gdi, "D3DKMTWaitForVerticalBlankEvent");

  if (!open || !close || !wait)
  {
    SetPacing(shared, WinVBlankThread::Pacing::Sleeping);
    while (!Stopping(shared))
    {
      Sleep(WinVBlankThread::kFallbackPeriodMs);
      if (!Stopping(shared))
        PostTick(shared);
    }
    if (gdi)
      FreeLibrary(gdi);
    return;
  }

  bool adapterOpen = false;
  KmtWaitForVerticalBlankEvent waitRecord{};
  DWORD lastFailure = 0;
  while (!Stopping(shared))
  {
    if (!adapterOpen)
    {
      SetPacing(shared, WinVBlankThread::Pacing::Sleeping);
      // Unsigned arithmetic, so the test survives the tick count wrapping around.
      if (lastFailure != 0 && GetTickCount() - lastFailure <= WinVBlankThread::kReopenDelayMs)
      {
        Sleep(WinVBlankThread::kFallbackPeriodMs);
        if (!Stopping(shared))
          PostTick(shared);
        continue;
      }
      KmtOpenAdapterFromHdc request{};
      HDC dc = GetDC(shared.window);
      request.hDc = dc;
      const bool opened = dc && NtSuccess(open(&request));
      if (dc)
        ReleaseDC(shared.window, dc);
      if (!opened)
      {
        // 0 means "no failure", so a failure exactly at tick count 0 is taken as 1.
        lastFailure = GetTickCount() | 1u;
        Sleep(WinVBlankThread::kFallbackPeriodMs);
        if (!Stopping(shared))
          PostTick(shared);
        continue;
      }
      adapterOpen = true;
      waitRecord.hAdapter = request.hAdapter;
      waitRecord.hDevice = 0;
      waitRecord.VidPnSourceId = request.VidPnSourceId;
      lastFailure = 0;
      SetPacing(shared, WinVBlankThread::Pacing::VerticalBlank);
    }
    if (!NtSuccess(wait(&waitRecord)))
    {
      const KmtCloseAdapter closeRecord{waitRecord.hAdapter};
      close(&closeRecord);
      adapterOpen = false;
      Sleep(WinVBlankThread::kFallbackPeriodMs);
    }
    if (!Stopping(shared))
      PostTick(shared);
  }
  if (adapterOpen)
  {
    const KmtCloseAdapter closeRecord{waitRecord.hAdapter};
    close(&closeRecord);
  }
  FreeLibrary(gdi);
}

// What the thread receives: its share of the state and the module reference it gives back as it ends.
struct ThreadStart
{
  std::shared_ptr<WinVBlankThread::Shared> shared;
  HMODULE module = nullptr;
};

DWORD WINAPI ThreadMain(LPVOID parameter)
{
  HMODULE module = nullptr;
  {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    module = start->module;
    Run(*start->shared);
  }
  // The code of this module must stay loaded until the thread has left it.
  if (module)
    FreeLibraryAndExitThread(module, 0);
  return 0;
}

} // namespace

WinVBlankThread::WinVBlankThread(HWND window, const wchar_t* library) : mShared(std::make_shared<Shared>())
{
  mShared->window = window;
  mShared->library = library ? library : L"";
  auto start = std::make_unique<ThreadStart>();
  start->shared = mShared;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadMain),
                     &start->module);
  const HMODULE module = start->module;
  HANDLE thread = CreateThread(nullptr, 0, &ThreadMain, start.get(), 0, nullptr);
  if (thread)
  {
    start.release();
    mThread = thread;
  }
  else if (module)
  {
    FreeLibrary(module);
  }
}

WinVBlankThread::~WinVBlankThread()
{
  mShared->stop.store(true, std::memory_order_release);
  if (!mThread)
    return;
  WaitForSingleObject(static_cast<HANDLE>(mThread), kStopTimeoutMs);
  CloseHandle(static_cast<HANDLE>(mThread));
}

uint32_t WinVBlankThread::Counter() const
{
  return mShared->counter.load(std::memory_order_acquire);
}

WinVBlankThread::Pacing WinVBlankThread::CurrentPacing() const
{
  return static_cast<Pacing>(mShared->pacing.load(std::memory_order_acquire));
}

} // namespace ondrell::graphics
