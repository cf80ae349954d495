// A stand-in for the three display functions of gdi32 that the vertical-blank thread looks up by name, for the
// window tests: opening an adapter succeeds or fails as the test says, and each wait for a vertical blank returns
// when the test signals one (or fails as the test says). Counts every call.

#include "graphics/win/WinApi.h"

#include <atomic>

namespace {

struct OpenAdapterFromHdc
{
  HDC hDc;
  UINT hAdapter;
  LUID AdapterLuid;
  UINT VidPnSourceId;
};
struct WaitForVerticalBlankEvent
{
  UINT hAdapter;
  UINT hDevice;
  UINT VidPnSourceId;
};
struct CloseAdapter
{
  UINT hAdapter;
};

constexpr LONG kStatusSuccess = 0;
constexpr UINT kAdapter = 0x4711;
constexpr UINT kSource = 3;

std::atomic<LONG> gOpenResult{kStatusSuccess};
std::atomic<LONG> gWaitResult{kStatusSuccess};
std::atomic<int> gOpens{0};
std::atomic<int> gCloses{0};
std::atomic<int> gWaits{0};
std::atomic<int> gBadRecords{0};
std::atomic<DWORD> gWaitTimeoutMs{INFINITE};

HANDLE BlankEvent()
{
  static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return event;
}

} // namespace

extern "C" {

__declspec(dllexport) LONG APIENTRY D3DKMTOpenAdapterFromHdc(OpenAdapterFromHdc* request)
{
  ++gOpens;
  if (!request || !request->hDc)
  {
    ++gBadRecords;
    return static_cast<LONG>(0xC000000D); // STATUS_INVALID_PARAMETER
  }
  const LONG result = gOpenResult.load();
  if (result >= 0)
  {
    request->hAdapter = kAdapter;
    request->VidPnSourceId = kSource;
  }
  return result;
}

__declspec(dllexport) LONG APIENTRY D3DKMTWaitForVerticalBlankEvent(const WaitForVerticalBlankEvent* wait)
{
  ++gWaits;
  if (!wait || wait->hAdapter != kAdapter || wait->hDevice != 0 || wait->VidPnSourceId != kSource)
    ++gBadRecords;
  WaitForSingleObject(BlankEvent(), gWaitTimeoutMs.load());
  return gWaitResult.load();
}

__declspec(dllexport) LONG APIENTRY D3DKMTCloseAdapter(const CloseAdapter* close)
{
  ++gCloses;
  if (!close || close->hAdapter != kAdapter)
    ++gBadRecords;
  return kStatusSuccess;
}

// The test's controls.
__declspec(dllexport) void FakeKmtConfigure(LONG openResult, LONG waitResult, DWORD waitTimeoutMs)
{
  gOpenResult = openResult;
  gWaitResult = waitResult;
  gWaitTimeoutMs = waitTimeoutMs;
}

__declspec(dllexport) void FakeKmtBlank()
{
  SetEvent(BlankEvent());
}

__declspec(dllexport) void FakeKmtCounts(int* opens, int* waits, int* closes, int* badRecords)
{
  *opens = gOpens.load();
  *waits = gWaits.load();
  *closes = gCloses.load();
  *badRecords = gBadRecords.load();
}

__declspec(dllexport) void FakeKmtReset()
{
  gOpens = 0;
  gWaits = 0;
  gCloses = 0;
  gBadRecords = 0;
  ResetEvent(BlankEvent());
}
}
