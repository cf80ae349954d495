#include "vst2/VstHostText.h"

#include <cstring>

namespace ondrell::vst {

void CopyTextToHost(char* dest, std::string_view text, std::size_t maxChars) {
  std::size_t n = text.size() < maxChars ? text.size() : maxChars;
  if (n < text.size()) {
    // Step back over continuation bytes (10xxxxxx) so the cut lands before the start of a sequence.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

std::string_view TextFromHost(const char* text) {
  const void* end = std::memchr(text, '\0', kHostInputTextChars);
  return {text, end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : kHostInputTextChars};
}

}  // namespace ondrell::vst
