#include "graphics/win/WinFileList.h"

#include "graphics/win/WinApi.h"
#include "graphics/win/WinText.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

namespace ondrell::graphics {

static_assert(sizeof(DROPFILES) == kFileListHeaderBytes);

size_t FileListBytes(std::wstring_view path, size_t extraBytes)
{
  return kFileListHeaderBytes + (path.size() + 1) * sizeof(wchar_t) + extraBytes;
}

void* MakeFileListBlock(std::wstring_view path, bool nonClient, size_t totalBytes)
{
  if (totalBytes < FileListBytes(path, sizeof(wchar_t)))
    return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, totalBytes);
  if (!block)
    return nullptr;
  auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
  if (!bytes)
  {
    GlobalFree(block);
    return nullptr;
  }
  auto* header = reinterpret_cast<DROPFILES*>(bytes);
  header->pFiles = static_cast<DWORD>(kFileListHeaderBytes);
  header->pt.x = 0;
  header->pt.y = 0;
  header->fNC = nonClient ? TRUE : FALSE;
  header->fWide = TRUE;
  // The path, its NUL and the list's closing NUL (the block is zero-filled).
  std::memcpy(bytes + kFileListHeaderBytes, path.data(), path.size() * sizeof(wchar_t));
  GlobalUnlock(block);
  return block;
}

std::string CutUtf8(std::string text, size_t maxBytes)
{
  if (text.size() <= maxBytes)
    return text;
  size_t end = maxBytes;
  // Back to the first byte of the sequence the limit falls into.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  text.resize(end);
  return text;
}

std::vector<std::string> ReadDroppedFiles(HDROP drop, size_t unitLimit)
{
  std::vector<std::string> paths;
  if (!drop)
    return paths;
  const UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  paths.reserve(n);
  std::vector<wchar_t> buffer;
  for (UINT i = 0; i < n; ++i)
  {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    const size_t units = unitLimit > 0 ? unitLimit : static_cast<size_t>(length) + 1;
    buffer.assign(units, L'\0');
    DragQueryFileW(drop, i, buffer.data(), static_cast<UINT>(units));
    std::string path = WideBufferToUtf8(buffer.data(), units);
    if (unitLimit > 0)
      path = CutUtf8(std::move(path), unitLimit);
    paths.push_back(std::move(path));
  }
  return paths;
}

} // namespace ondrell::graphics
