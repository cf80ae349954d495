#include "vst2/VstKeyCode.h"

#include <array>

namespace ondrell {

namespace {

// Index = the host's key code (1..56), value = the Windows code of the same key; index 0 and 57 are resolved from
// the character instead.
constexpr std::array<int, 57> kNamedKeys = {
    0,                                                 // 0: no virtual key
    8,   9,   12,  13,  19,  27,  32,                  // back, tab, clear, return, pause, escape, space
    34,  35,  36,  37,  38,  39,  40,                  // next, end, home, left, up, right, down
    33,  34,  41,  42,  13,  44,  45,  46,  47,        // page up, page down, select, print, enter, snapshot,
                                                       // insert, delete, help
    96,  97,  98,  99,  100, 101, 102, 103, 104, 105,  // numeric pad 0..9
    106, 107, 108, 109, 110, 111,                      // multiply, add, separator, subtract, decimal, divide
    112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123,  // F1..F12
    144, 145, 16,  17,  18,                            // num lock, scroll lock, shift, control, alt
};

static_assert(kNamedKeys[56] == 18 && kNamedKeys[40] == 112, "one entry per host key code 0..56");

constexpr int kVstKeyEquals = 57;

}  // namespace

int WindowsVirtualKeyFromVst(int vstKeyCode, int character) {
  if (vstKeyCode == 0 || vstKeyCode == kVstKeyEquals) return WindowsVirtualKeyForCharacter(character);
  if (vstKeyCode > 0 && vstKeyCode < static_cast<int>(kNamedKeys.size())) return kNamedKeys[vstKeyCode];
  return 0;
}

}  // namespace ondrell
