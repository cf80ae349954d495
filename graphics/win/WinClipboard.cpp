#include "graphics/win/WinClipboard.h"

#include "graphics/win/WinApi.h"
#include "graphics/win/WinFileList.h"
#include "graphics/win/WinText.h"

#include <cstring>

namespace ondrell::graphics {

bool ReadClipboardText(std::string& text)
{
  text.clear();
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(nullptr))
    return false;
  bool read = false;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT))
  {
    if (const auto* units = static_cast<const wchar_t*>(GlobalLock(data)))
    {
      // The block may lack its NUL; nothing past its end is read.
      text = WideBufferToUtf8(units, GlobalSize(data) / sizeof(wchar_t));
      read = true;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return read && !text.empty();
}

bool WriteClipboardText(HWND owner, const char* text)
{
  if (!OpenClipboard(owner))
    return false;
  EmptyClipboard();
  const std::wstring wide = Utf8ToWide(text ? text : "");
  if (wide.empty())
  {
    CloseClipboard();
    return true;
  }
  const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!block)
  {
    CloseClipboard();
    return false;
  }
  bool stored = false;
  if (auto* units = static_cast<wchar_t*>(GlobalLock(block)))
  {
    std::memcpy(units, wide.c_str(), bytes);
    GlobalUnlock(block);
    stored = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
  }
  if (!stored)
    GlobalFree(block);
  CloseClipboard();
  return stored;
}

bool WriteClipboardFilePath(HWND owner, const char* path)
{
  if (!OpenClipboard(owner))
    return false;
  EmptyClipboard();
  const std::wstring wide = Utf8ToWide(path ? path : "");
  auto* block = static_cast<HGLOBAL>(MakeFileListBlock(wide, true, FileListBytes(wide, sizeof(wchar_t))));
  const bool stored = block && SetClipboardData(CF_HDROP, block) != nullptr;
  if (block && !stored)
    GlobalFree(block);
  CloseClipboard();
  return stored;
}

} // namespace ondrell::graphics
