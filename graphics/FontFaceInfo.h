#pragma once

// The description of one face of a TrueType/OpenType font (or of a face inside a font collection), read from
// the font's own bytes with every read bounds-checked.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace ondrell::graphics {

struct FontFaceInfo
{
  // Byte offset of the face's table directory: 0 for a single font, the collection's offset for its face.
  std::uint32_t faceStart = 0;
  // Offsets of the tables from the start of the data; 0 when the table is absent or does not fit the data.
  std::uint32_t headOffset = 0;
  std::uint32_t nameOffset = 0;
  std::uint32_t hheaOffset = 0;
  std::uint32_t fdscOffset = 0;

  std::uint16_t unitsPerEm = 0;
  std::uint16_t styleBits = 0; // "head" macStyle: bit 0 bold, bit 1 italic, bit 2 underline
  std::string familyName;      // name ID 1, UTF-8
  std::string styleName;       // name ID 2, UTF-8
  std::int16_t ascender = 0;
  std::int16_t descender = 0;
  std::int16_t lineGap = 0;

  // A face is usable only with its "head", "name" and "hhea" tables.
  bool IsValid() const { return headOffset != 0 && nameOffset != 0 && hheaOffset != 0; }
  bool IsBold() const { return (styleBits & 1) != 0; }
  bool IsItalic() const { return (styleBits & 2) != 0; }
  bool IsUnderline() const { return (styleBits & 4) != 0; }
};

// True when the data starts with a known font signature: 00 01 00 00, "1" and three zero bytes, "OTTO",
// "typ1" or "ttcf".
bool IsFontData(std::span<const unsigned char> data);

// True for a collection ("ttcf" with version 1.0 or 2.0); faceCount receives its number of faces.
bool IsFontCollection(std::span<const unsigned char> data, std::uint32_t& faceCount);

// Reads the face with that index. Data that is not a font, a negative index, a non-zero index outside a
// collection or beyond its face count, and a face whose directory does not fit the data give an invalid
// (default) description; tables that lie outside the data are treated as absent.
FontFaceInfo ReadFontFaceInfo(std::span<const unsigned char> data, int faceIndex);

} // namespace ondrell::graphics
