#include "tests/graphics_win/GdiTracker.h"

#include <cstring>
#include <mutex>
#include <set>
#include <string>

namespace quorl_test {

namespace {

std::mutex gLock;
std::multiset<const void*> gLive;
int gMade = 0;

void Made(const void* handle)
{
  if (!handle)
    return;
  std::lock_guard<std::mutex> lock(gLock);
  gLive.insert(handle);
  ++gMade;
}

void Freed(const void* handle)
{
  std::lock_guard<std::mutex> lock(gLock);
  const auto it = gLive.find(handle);
  if (it != gLive.end())
    gLive.erase(it);
}

template <typename Fn>
Fn Original(const char* module, const char* name)
{
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name)));
}

#define QUORL_ORIGINAL(module, name) static const auto original = Original<decltype(&name)>(module, #name)

HRGN WINAPI CountCreateRectRgn(int l, int t, int r, int b)
{
  QUORL_ORIGINAL("gdi32.dll", CreateRectRgn);
  HRGN h = original(l, t, r, b);
  Made(h);
  return h;
}
HRGN WINAPI CountCreateRectRgnIndirect(const RECT* r)
{
  QUORL_ORIGINAL("gdi32.dll", CreateRectRgnIndirect);
  HRGN h = original(r);
  Made(h);
  return h;
}
HFONT WINAPI CountCreateFontIndirectW(const LOGFONTW* f)
{
  QUORL_ORIGINAL("gdi32.dll", CreateFontIndirectW);
  HFONT h = original(f);
  Made(h);
  return h;
}
HBRUSH WINAPI CountCreateSolidBrush(COLORREF c)
{
  QUORL_ORIGINAL("gdi32.dll", CreateSolidBrush);
  HBRUSH h = original(c);
  Made(h);
  return h;
}
HDC WINAPI CountCreateCompatibleDC(HDC dc)
{
  QUORL_ORIGINAL("gdi32.dll", CreateCompatibleDC);
  HDC h = original(dc);
  Made(h);
  return h;
}
HBITMAP WINAPI CountCreateCompatibleBitmap(HDC dc, int w, int h)
{
  QUORL_ORIGINAL("gdi32.dll", CreateCompatibleBitmap);
  HBITMAP b = original(dc, w, h);
  Made(b);
  return b;
}
HBITMAP WINAPI CountCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                     DWORD offset)
{
  QUORL_ORIGINAL("gdi32.dll", CreateDIBSection);
  HBITMAP b = original(dc, info, usage, bits, section, offset);
  Made(b);
  return b;
}
BOOL WINAPI CountDeleteObject(HGDIOBJ object)
{
  QUORL_ORIGINAL("gdi32.dll", DeleteObject);
  const BOOL ok = original(object);
  if (ok)
    Freed(object);
  return ok;
}
BOOL WINAPI CountDeleteDC(HDC dc)
{
  QUORL_ORIGINAL("gdi32.dll", DeleteDC);
  const BOOL ok = original(dc);
  if (ok)
    Freed(dc);
  return ok;
}
HANDLE WINAPI CountAddFontMemResourceEx(void* data, DWORD size, void* reserved, DWORD* count)
{
  QUORL_ORIGINAL("gdi32.dll", AddFontMemResourceEx);
  HANDLE h = original(data, size, reserved, count);
  Made(h);
  return h;
}
BOOL WINAPI CountRemoveFontMemResourceEx(HANDLE font)
{
  QUORL_ORIGINAL("gdi32.dll", RemoveFontMemResourceEx);
  const BOOL ok = original(font);
  if (ok)
    Freed(font);
  return ok;
}
HDC WINAPI CountGetDC(HWND window)
{
  QUORL_ORIGINAL("user32.dll", GetDC);
  HDC dc = original(window);
  Made(dc);
  return dc;
}
HDC WINAPI CountGetWindowDC(HWND window)
{
  QUORL_ORIGINAL("user32.dll", GetWindowDC);
  HDC dc = original(window);
  Made(dc);
  return dc;
}
int WINAPI CountReleaseDC(HWND window, HDC dc)
{
  QUORL_ORIGINAL("user32.dll", ReleaseDC);
  const int released = original(window, dc);
  if (released)
    Freed(dc);
  return released;
}

struct Hook
{
  const char* module;
  const char* name;
  void* replacement;
};

const Hook kHooks[] = {
  {"gdi32.dll", "CreateRectRgn", reinterpret_cast<void*>(&CountCreateRectRgn)},
  {"gdi32.dll", "CreateRectRgnIndirect", reinterpret_cast<void*>(&CountCreateRectRgnIndirect)},
  {"gdi32.dll", "CreateFontIndirectW", reinterpret_cast<void*>(&CountCreateFontIndirectW)},
  {"gdi32.dll", "CreateSolidBrush", reinterpret_cast<void*>(&CountCreateSolidBrush)},
  {"gdi32.dll", "CreateCompatibleDC", reinterpret_cast<void*>(&CountCreateCompatibleDC)},
  {"gdi32.dll", "CreateCompatibleBitmap", reinterpret_cast<void*>(&CountCreateCompatibleBitmap)},
  {"gdi32.dll", "CreateDIBSection", reinterpret_cast<void*>(&CountCreateDIBSection)},
  {"gdi32.dll", "DeleteObject", reinterpret_cast<void*>(&CountDeleteObject)},
  {"gdi32.dll", "DeleteDC", reinterpret_cast<void*>(&CountDeleteDC)},
  {"gdi32.dll", "AddFontMemResourceEx", reinterpret_cast<void*>(&CountAddFontMemResourceEx)},
  {"gdi32.dll", "RemoveFontMemResourceEx", reinterpret_cast<void*>(&CountRemoveFontMemResourceEx)},
  {"user32.dll", "GetDC", reinterpret_cast<void*>(&CountGetDC)},
  {"user32.dll", "GetWindowDC", reinterpret_cast<void*>(&CountGetWindowDC)},
  {"user32.dll", "ReleaseDC", reinterpret_cast<void*>(&CountReleaseDC)},
};

} // namespace

GdiTracker::GdiTracker(HMODULE module)
{
  {
    std::lock_guard<std::mutex> lock(gLock);
    gLive.clear();
    gMade = 0;
  }
  if (module)
    PatchImports(module);
}

GdiTracker::~GdiTracker()
{
  for (int i = 0; i < mHooked; ++i)
  {
    DWORD old = 0;
    VirtualProtect(mPatches[i].slot, sizeof(void*), PAGE_READWRITE, &old);
    *mPatches[i].slot = mPatches[i].original;
    VirtualProtect(mPatches[i].slot, sizeof(void*), old, &old);
  }
}

int GdiTracker::Live()
{
  std::lock_guard<std::mutex> lock(gLock);
  return static_cast<int>(gLive.size());
}

int GdiTracker::Made()
{
  std::lock_guard<std::mutex> lock(gLock);
  return gMade;
}

void GdiTracker::PatchImports(HMODULE module)
{
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0)
    return;
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import)
  {
    const char* dll = reinterpret_cast<const char*>(base + import->Name);
    const DWORD namesRva = import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk;
    auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + namesRva);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots)
    {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
        continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      for (const Hook& hook : kHooks)
      {
        if (_stricmp(dll, hook.module) != 0 || std::strcmp(reinterpret_cast<const char*>(byName->Name), hook.name) != 0)
          continue;
        if (mHooked == static_cast<int>(std::size(mPatches)))
          return;
        void** slot = reinterpret_cast<void**>(&slots->u1.Function);
        DWORD old = 0;
        if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old))
          continue;
        mPatches[mHooked++] = {slot, *slot};
        *slot = hook.replacement;
        VirtualProtect(slot, sizeof(void*), old, &old);
      }
    }
  }
}

} // namespace quorl_test
