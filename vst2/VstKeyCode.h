#pragma once
// Conversion of the key codes a VST2 host sends with effEditKeyDown/effEditKeyUp into the Windows virtual-key codes
// the editor's key handling works with.

namespace ondrell {

// The Windows virtual-key code of the key that types `character`, or 0 when no key types it. On Windows the
// calling thread's keyboard layout answers (vst2/win/VstKeyLayoutWin.cpp); elsewhere a US layout does
// (vst2/VstKeyLayoutUs.cpp): letters and digits map to their upper-case ASCII codes, punctuation to the OEM
// keys, shifted symbols to their unshifted key.
int WindowsVirtualKeyForCharacter(int character);

// The Windows virtual-key code for the host's key code; codes 0 (no virtual key) and 57 (equals) are resolved from
// the character. Unknown codes give 0.
int WindowsVirtualKeyFromVst(int vstKeyCode, int character);

}  // namespace ondrell
