#pragma once

// The system clipboard: text in and out (UTF-8 inside the program, UTF-16 on the clipboard) and one file path put
// on it as a file list.

#include <string>

struct HWND__;

namespace ondrell::graphics {

// The clipboard's text; empty text and false when it holds none or cannot be opened (another program has it).
bool ReadClipboardText(std::string& text);
// Replaces the clipboard's contents with the text (owner may be null); an empty text only empties the clipboard.
// False when the clipboard cannot be opened or the text not stored.
bool WriteClipboardText(HWND__* owner, const char* text);
// Replaces the clipboard's contents with a file list holding the path.
bool WriteClipboardFilePath(HWND__* owner, const char* path);

} // namespace ondrell::graphics
