#include "tools/host/DynamicLibrary.h"

#include <windows.h>

#include <vector>

namespace ondrell::host {

namespace {

// The path as Windows takes it: UTF-16, with backslashes (a path written the POSIX way, as the build's tests
// name their files, means the same place on the current drive).
std::wstring WidePath(const std::string& path) {
  if (path.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                                         nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), wide.data(),
                      length);
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  return wide;
}

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = "error " + std::to_string(code);
  if (length > 0 && text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::vector<char> utf8(static_cast<size_t>(bytes > 0 ? bytes : 0));
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), bytes, nullptr, nullptr);
    message.assign(utf8.begin(), utf8.end());
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
      message.pop_back();
  }
  if (text) LocalFree(text);
  return message;
}

}  // namespace

bool DynamicLibrary::Open(const std::string& path, std::string& error) {
  Close();
  const std::wstring wide = WidePath(path);
  if (wide.empty()) {
    error = "the path is empty or not UTF-8";
    return false;
  }
  // No error dialog for a file that is missing or not a DLL: the caller reports it.
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  mHandle = LoadLibraryW(wide.c_str());
  const DWORD code = GetLastError();
  SetErrorMode(previousMode);
  if (mHandle) return true;
  error = SystemMessage(code);
  return false;
}

bool DynamicLibrary::OpenIfLoaded(const std::string& path) {
  Close();
  const std::wstring wide = WidePath(path);
  HMODULE module = nullptr;
  if (!wide.empty() && GetModuleHandleExW(0, wide.c_str(), &module)) mHandle = module;
  return mHandle != nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (!mHandle) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(mHandle), name));
}

void DynamicLibrary::Close() {
  if (mHandle) FreeLibrary(static_cast<HMODULE>(mHandle));
  mHandle = nullptr;
}

}  // namespace ondrell::host
