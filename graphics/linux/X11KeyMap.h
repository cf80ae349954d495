#pragma once

// Turns X key symbols into the Windows virtual-key codes that IKeyPress carries on every platform, so controls see
// the same codes whichever window host delivered the key.

namespace ondrell::graphics {

// The virtual-key code of an X keysym; 0 for a key that has none.
int VirtualKeyFromKeySym(unsigned long keysym);

} // namespace ondrell::graphics
