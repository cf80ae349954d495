#include "graphics/win/WinText.h"

#include "graphics/win/WinApi.h"

#include <climits>
#include <cwchar>

namespace ondrell::graphics {

std::wstring Utf8ToWide(std::string_view text)
{
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX))
    return {};
  const int n = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), n, nullptr, 0);
  if (units <= 0)
    return {};
  std::wstring out(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), n, out.data(), units);
  return out;
}

std::string WideToUtf8(std::wstring_view text)
{
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX))
    return {};
  const int n = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0)
    return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), n, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::string WideBufferToUtf8(const wchar_t* buffer, size_t capacity)
{
  if (!buffer)
    return {};
  return WideToUtf8(std::wstring_view(buffer, wcsnlen(buffer, capacity)));
}

} // namespace ondrell::graphics
