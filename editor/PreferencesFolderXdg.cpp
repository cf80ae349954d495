// The preference folder on Linux: the XDG configuration folder.
#include "editor/DisplayScalePreference.h"
#include "editor/PreferencesFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ondrell::editor {

namespace {

constexpr const char* kPreferencesSubfolder = "/Ondrell Audio/Preferences/";

bool IsAbsolute(const char* path)
{
  return path != nullptr && path[0] == '/';
}

} // namespace

std::string PreferencesFolder()
{
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (IsAbsolute(configHome))
  {
    base = configHome;
  }
  else
  {
    const char* home = std::getenv("HOME");
    if (!IsAbsolute(home))
      return {};
    base = std::string(home) + "/.config";
  }
  while (base.size() > 1 && base.back() == '/')
    base.pop_back();
  if (base == "/")
    base.clear();
  return base + kPreferencesSubfolder;
}

bool MakePreferencesFolder(const std::string& folder)
{
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return std::filesystem::is_directory(folder, ec);
}

} // namespace ondrell::editor
