#pragma once

// Text is UTF-8 inside the program and UTF-16 at every Windows call; these convert between the two. Malformed
// input becomes U+FFFD (to UTF-16) or is dropped by the system's converter, never an error.

#include <string>
#include <string_view>

namespace ondrell::graphics {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
// The NUL-terminated UTF-16 text in buffer (at most capacity units, terminated or not) as UTF-8.
std::string WideBufferToUtf8(const wchar_t* buffer, size_t capacity);

} // namespace ondrell::graphics
