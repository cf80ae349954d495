#pragma once

// The system's modal dialogs for the editor: the message box (owned by the host's main window), the open and save
// dialogs, the folder chooser and the colour chooser with its custom colours kept for the process.

#include "graphics/IGraphicsTypes.h"

#include <string>

struct HWND__;

namespace ondrell::graphics {

// The host's top-level window above parent: the last window of its GetParent chain; null for no window.
HWND__* TopLevelAncestor(HWND__* parent);
// The first top-level window of this process whose class name is className; null when there is none.
HWND__* FindProcessWindowByClass(const std::string& className);
// The class name of a window as UTF-8 (at most 128 units); empty when it cannot be read.
std::string WindowClassName(HWND__* window);

// The open and save dialogs' filter for an extension list such as "wav aif": the pattern "*.wav;*.aif" and the
// default extension "wav". Both are empty for an empty list, and for a list whose pattern would not fit in 126
// characters or whose first extension would not fit in 15.
struct FileDialogFilter
{
  std::wstring pattern;
  std::wstring defaultExtension;
};
FileDialogFilter MakeFileDialogFilter(const char* extensions);

// action 1 saves (asking before overwriting), anything else opens an existing file. On OK fileName becomes the
// chosen path and folder its drive and directory with the closing separator; on cancel fileName becomes empty and
// folder stays. True on OK.
bool ChooseFile(HWND__* owner, std::string& fileName, std::string& folder, int action, const char* extensions);
// On a choice folder becomes the chosen folder followed by a backslash; otherwise it becomes empty. True on a
// choice.
bool ChooseFolder(HWND__* owner, std::string& folder);
// On OK the colour's red, green and blue take the chosen values (alpha stays) and the result is true. A prompt
// becomes the dialog's title.
bool ChooseColour(HWND__* owner, IColor& colour, const char* prompt);

} // namespace ondrell::graphics
