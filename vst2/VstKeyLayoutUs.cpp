// The character-to-key look-up of systems without a keyboard-layout service of their own: a US layout.

#include "vst2/VstKeyCode.h"

namespace ondrell {

namespace {

// Windows virtual-key codes of the US layout's punctuation keys.
constexpr int kVkOem1 = 0xBA;       // ; :
constexpr int kVkOemPlus = 0xBB;    // = +
constexpr int kVkOemComma = 0xBC;   // , <
constexpr int kVkOemMinus = 0xBD;   // - _
constexpr int kVkOemPeriod = 0xBE;  // . >
constexpr int kVkOem2 = 0xBF;       // / ?
constexpr int kVkOem3 = 0xC0;       // ` ~
constexpr int kVkOem4 = 0xDB;       // [ {
constexpr int kVkOem5 = 0xDC;       // \ |
constexpr int kVkOem6 = 0xDD;       // ] }
constexpr int kVkOem7 = 0xDE;       // ' "

}  // namespace

int WindowsVirtualKeyForCharacter(int character) {
  if (character >= 'a' && character <= 'z') return character - 'a' + 'A';
  if (character >= 'A' && character <= 'Z') return character;
  if (character >= '0' && character <= '9') return character;
  switch (character) {
    case '\b': return 8;
    case '\t': return 9;
    case '\n':
    case '\r': return 13;
    case 27: return 27;
    case ' ': return 32;
    case ')': return '0';
    case '!': return '1';
    case '@': return '2';
    case '#': return '3';
    case '$': return '4';
    case '%': return '5';
    case '^': return '6';
    case '&': return '7';
    case '*': return '8';
    case '(': return '9';
    case ';': case ':': return kVkOem1;
    case '=': case '+': return kVkOemPlus;
    case ',': case '<': return kVkOemComma;
    case '-': case '_': return kVkOemMinus;
    case '.': case '>': return kVkOemPeriod;
    case '/': case '?': return kVkOem2;
    case '`': case '~': return kVkOem3;
    case '[': case '{': return kVkOem4;
    case '\\': case '|': return kVkOem5;
    case ']': case '}': return kVkOem6;
    case '\'': case '"': return kVkOem7;
    default: return 0;
  }
}

}  // namespace ondrell
