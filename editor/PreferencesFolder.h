#pragma once
// The system's side of the display-scale preference: where the per-user folder is and how it is made.
// editor/PreferencesFolderXdg.cpp on Linux, editor/win/PreferencesFolderWin.cpp on Windows; the folder itself
// is named by PreferencesFolder (editor/DisplayScalePreference.h).
#include <string>

namespace ondrell::editor {

// Makes the folder with every missing parent; true when it exists as a folder afterwards.
bool MakePreferencesFolder(const std::string& folder);

} // namespace ondrell::editor
