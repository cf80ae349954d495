#pragma once

// Opening a web address in the user's browser and showing a file or folder in Explorer.

#include <string>

struct HWND__;

namespace ondrell::graphics {

// With a confirmation text the user is asked first (any answer but Yes gives false). Opens the address when the
// system reports a connection and the shell accepts it; otherwise shows the failure text (when given) and returns
// false. The message boxes are owned by owner.
bool OpenLink(HWND__* owner, const char* address, const char* title, const char* confirmation, const char* failure);
// Explorer's parameters for a path: "/select," when selecting, then the path in double quotes with a backslash
// before the closing quote.
std::wstring ExplorerParameters(const std::wstring& path, bool select);
// Starts Explorer on the path from the system directory; false for an empty path or when the shell refuses.
bool ShowInFileBrowser(const char* path, bool select);

} // namespace ondrell::graphics
