#pragma once

// The file-list block of the system (DROPFILES) that the clipboard and dragging out hand over, and the reading of
// the file lists that drops bring in.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct HDROP__;

namespace ondrell::graphics {

// The block's fixed part: list offset, drop point, non-client flag and wide flag.
inline constexpr size_t kFileListHeaderBytes = 20;

// A movable, zero-filled block of totalBytes (at least the header, the path's UTF-16 units with their NUL and one
// more NUL) holding one path; null when it cannot be allocated. The caller owns the returned HGLOBAL.
void* MakeFileListBlock(std::wstring_view path, bool nonClient, size_t totalBytes);
// The bytes the block of a path needs: the header, the path with its NUL, and extraBytes.
size_t FileListBytes(std::wstring_view path, size_t extraBytes);

// The paths of a drop in the order the system lists them, as UTF-8. With a unit limit each path is read into a
// buffer of that many UTF-16 units and its UTF-8 form cut to that many bytes (whole characters); 0 reads every
// path at its full length.
std::vector<std::string> ReadDroppedFiles(HDROP__* drop, size_t unitLimit);

// text cut to at most maxBytes bytes without splitting a UTF-8 sequence.
std::string CutUtf8(std::string text, size_t maxBytes);

} // namespace ondrell::graphics
