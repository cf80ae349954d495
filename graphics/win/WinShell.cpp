#include "graphics/win/WinShell.h"

#include "graphics/win/WinApi.h"
#include "graphics/win/WinText.h"

#include <shellapi.h>
#include <wininet.h>

#include <vector>

namespace ondrell::graphics {

namespace {

constexpr size_t kSystemDirectoryUnits = 4096;
// The longest system directory (with its closing backslash) Explorer is started from.
constexpr size_t kMaxSystemDirectory = 258;

// ShellExecuteW reports success with a value above 32.
bool ShellSucceeded(HINSTANCE result) { return reinterpret_cast<INT_PTR>(result) > 32; }

} // namespace

bool OpenLink(HWND owner, const char* address, const char* title, const char* confirmation, const char* failure)
{
  const std::wstring caption = Utf8ToWide(title ? title : "");
  if (confirmation && *confirmation &&
      MessageBoxW(owner, Utf8ToWide(confirmation).c_str(), caption.c_str(), MB_YESNO) != IDYES)
    return false;
  DWORD state = 0;
  if (address && *address && InternetGetConnectedState(&state, 0))
  {
    const std::wstring wide = Utf8ToWide(address);
    if (ShellSucceeded(ShellExecuteW(owner, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL)))
      return true;
  }
  if (failure && *failure)
    MessageBoxW(owner, Utf8ToWide(failure).c_str(), caption.c_str(), MB_OK);
  return false;
}

std::wstring ExplorerParameters(const std::wstring& path, bool select)
{
  std::wstring parameters = select ? L"/select," : L"";
  parameters += L'"';
  parameters += path;
  parameters += L"\\\"";
  return parameters;
}

bool ShowInFileBrowser(const char* path, bool select)
{
  if (!path || !*path)
    return false;
  std::vector<wchar_t> buffer(kSystemDirectoryUnits, L'\0');
  const UINT n = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  if (n == 0 || n >= buffer.size())
    return false;
  std::wstring directory(buffer.data(), n);
  directory += L'\\';
  if (directory.size() > kMaxSystemDirectory)
    return false;
  const std::wstring parameters = ExplorerParameters(Utf8ToWide(path), select);
  return ShellSucceeded(
    ShellExecuteW(nullptr, L"open", L"explorer.exe", parameters.c_str(), directory.c_str(), SW_SHOWNORMAL));
}

} // namespace ondrell::graphics
