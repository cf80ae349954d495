#include "tests/support/TestSystem.h"

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <random>
#include <stdexcept>

namespace quorl_test {

namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// A path written the POSIX way (as the build names its files) means the same place on the current drive.
std::wstring WidePath(const std::string& path) {
  std::wstring wide = Wide(path);
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  return wide;
}

// One argument as the C runtime's command-line parser reads it back.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

}  // namespace

void SetEnvironment(const char* name, const char* value) {
  // Both the C runtime's copy (getenv) and the process's (inherited by children).
  _putenv_s(name, value ? value : "");
  SetEnvironmentVariableW(Wide(name).c_str(), value ? Wide(value).c_str() : nullptr);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : mName(name) {
  if (const char* previous = std::getenv(name)) mPrevious = previous;
  SetEnvironment(name, value);
}

ScopedEnvironment::~ScopedEnvironment() { SetEnvironment(mName.c_str(), mPrevious ? mPrevious->c_str() : nullptr); }

std::filesystem::path MakeTemporaryFolder(const std::string& prefix) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / (prefix + std::to_string(random()) + std::to_string(attempt));
    std::error_code ec;
    if (std::filesystem::create_directory(folder, ec)) return folder;
  }
  throw std::runtime_error("cannot make a temporary folder");
}

int RunProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& outputFile,
               bool withErrors) {
  const std::wstring application = WidePath(program);
  std::wstring line;
  AppendQuoted(line, application);
  for (const std::string& a : arguments) {
    line += L' ';
    AppendQuoted(line, Wide(a));
  }
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE output = INVALID_HANDLE_VALUE;
  if (!outputFile.empty()) {
    output = CreateFileW(WidePath(outputFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return -1;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output != INVALID_HANDLE_VALUE ? output : GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = withErrors && output != INVALID_HANDLE_VALUE ? output : GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child{};
  const BOOL started =
      CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
  if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  if (!started) return -1;
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 0;
  const BOOL known = GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return known ? static_cast<int>(code) : -1;
}

long long ResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return static_cast<long long>(counters.WorkingSetSize);
}

std::filesystem::path RoamingAppDataFolder() {
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return std::filesystem::path(path);
}

}  // namespace quorl_test
