// The preference folder on Windows: the user's roaming application-data folder.
#include "editor/DisplayScalePreference.h"
#include "editor/PreferencesFolder.h"

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <system_error>

namespace ondrell::editor {

namespace {

constexpr const char* kPreferencesSubfolder = "\\Ondrell Audio\\Preferences\\";

} // namespace

std::string PreferencesFolder()
{
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)) || path[0] == '\0')
    return {};
  std::string folder(path);
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
    folder.pop_back();
  if (folder.empty())
    return {};
  return folder + kPreferencesSubfolder;
}

bool MakePreferencesFolder(const std::string& folder)
{
  // Created now, or there already (as a file, 80, or as anything, 183): the check below tells a folder.
  const int result = SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
  if (result != ERROR_SUCCESS && result != ERROR_FILE_EXISTS && result != ERROR_ALREADY_EXISTS)
    return false;
  std::error_code ec;
  return std::filesystem::is_directory(folder, ec);
}

} // namespace ondrell::editor
