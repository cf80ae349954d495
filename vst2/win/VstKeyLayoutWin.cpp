// The character-to-key look-up on Windows: the keyboard layout of the calling thread.

#include "vst2/VstKeyCode.h"

#include <windows.h>

namespace ondrell {

int WindowsVirtualKeyForCharacter(int character) {
  // The host passes one character; nothing (0) and what no UTF-16 unit can hold type no key.
  if (character <= 0 || character > 0xFFFF) return 0;
  const SHORT keyAndShift = VkKeyScanExW(static_cast<WCHAR>(character), GetKeyboardLayout(0));
  // -1 in both bytes: no key of the layout types the character.
  if (keyAndShift == -1) return 0;
  return LOBYTE(keyAndShift);
}

}  // namespace ondrell
