#pragma once

// The editor's display scale, remembered across editor openings, plug-in instances and host restarts in one small
// text file per plug-in name: <per-user folder>/Ondrell Audio/Preferences/<name>-display-scale.txt,
// whose first line holds the scale with four decimals ("1.2500"). Only the first line is read or replaced; any
// further lines in the file are kept as they are.

#include <string>

namespace ondrell::editor {

// The name this plug-in stores its scale under.
inline constexpr const char* kDisplayScalePrefName = "QuorlEQ";
// Stored scales are limited to this range when read.
inline constexpr float kMinStoredScale = 0.5f;
inline constexpr float kMaxStoredScale = 4.0f;

// Linux: $XDG_CONFIG_HOME (or ~/.config when that is unset, empty or not an absolute path) followed by
// "/Ondrell Audio/Preferences/"; empty when neither gives an absolute folder. Windows: the roaming
// application-data folder (SHGetFolderPathA) followed by "\Ondrell Audio\Preferences\"; empty when the
// query fails or gives an empty path.
std::string PreferencesFolder();
// Folder + the name with each of / \ : * ? " < > | replaced by "_" + "-display-scale.txt"; empty when the name
// or the folder is empty.
std::string PreferencesFile(const char* name);

// Reads the scale from the first line of a preference text: leading and trailing white space allowed (a
// carriage return too), nothing else after the number; it must be finite and greater than 0. The number is read
// the same way whatever the process's C locale. False, leaving scale unchanged, otherwise.
bool ParseDisplayScaleLine(const std::string& line, float& scale);

// The stored scale for the name. False when there is no folder or file, the first line is empty, longer than a
// scale line can be, or malformed (see ParseDisplayScaleLine).
bool LoadDisplayScale(const char* name, float& scale);
// Stores the scale as the first line ("%.4f" and a line feed), creating the folders as needed and keeping any
// further lines of an existing file. The file is replaced in one step, so a reader never meets a half-written
// file. False for a scale that is not finite or not above 0, or when the folder or file cannot be written.
bool SaveDisplayScale(const char* name, float scale);

// The scale the editor opens at: the stored one for "QuorlEQ" limited to 0.5 ... 4.0, or 1 when none can be read.
float ReadDisplayScale();

} // namespace ondrell::editor
