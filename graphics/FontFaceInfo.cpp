#include "graphics/FontFaceInfo.h"

#include <cstring>

namespace ondrell::graphics {

namespace {

// Font files are untrusted input: every read goes through these checks, which also guard against offset
// arithmetic wrapping around.
bool Fits(std::span<const unsigned char> data, std::size_t offset, std::size_t length)
{
  return offset <= data.size() && length <= data.size() - offset;
}

bool ReadU16(std::span<const unsigned char> data, std::size_t offset, std::uint16_t& value)
{
  if (!Fits(data, offset, 2))
    return false;
  value = static_cast<std::uint16_t>((data[offset] << 8) | data[offset + 1]);
  return true;
}

bool ReadU32(std::span<const unsigned char> data, std::size_t offset, std::uint32_t& value)
{
  if (!Fits(data, offset, 4))
    return false;
  value = (static_cast<std::uint32_t>(data[offset]) << 24) | (static_cast<std::uint32_t>(data[offset + 1]) << 16) |
          (static_cast<std::uint32_t>(data[offset + 2]) << 8) | static_cast<std::uint32_t>(data[offset + 3]);
  return true;
}

std::int16_t ReadS16Unchecked(std::span<const unsigned char> data, std::size_t offset)
{
  return static_cast<std::int16_t>(static_cast<std::uint16_t>((data[offset] << 8) | data[offset + 1]));
}

bool HasTag(std::span<const unsigned char> data, std::size_t offset, const char* tag)
{
  return Fits(data, offset, 4) && std::memcmp(data.data() + offset, tag, 4) == 0;
}

void AppendUtf8(std::string& out, std::uint32_t codePoint)
{
  if (codePoint < 0x80)
  {
    out += static_cast<char>(codePoint);
  }
  else if (codePoint < 0x800)
  {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
  else if (codePoint < 0x10000)
  {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
  else
  {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// UTF-16 big-endian to UTF-8; unpaired surrogates become U+FFFD and an odd trailing byte is dropped.
std::string Utf16BeToUtf8(std::span<const unsigned char> bytes)
{
  std::string out;
  const std::size_t units = bytes.size() / 2;
  for (std::size_t i = 0; i < units; ++i)
  {
    const std::uint32_t unit = (static_cast<std::uint32_t>(bytes[2 * i]) << 8) | bytes[2 * i + 1];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units)
    {
      const std::uint32_t low = (static_cast<std::uint32_t>(bytes[2 * i + 2]) << 8) | bytes[2 * i + 3];
      if (low >= 0xDC00 && low <= 0xDFFF)
      {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, (unit >= 0xD800 && unit <= 0xDFFF) ? 0xFFFD : unit);
  }
  return out;
}

// The text of the first name record with these platform, encoding, language and name IDs; empty when there
// is none or its string does not lie inside the data.
std::string FindName(std::span<const unsigned char> data, std::size_t table, std::uint16_t platform,
                     std::uint16_t encoding, std::uint16_t language, std::uint16_t nameID)
{
  std::uint16_t count = 0;
  std::uint16_t storage = 0;
  if (!ReadU16(data, table + 2, count) || !ReadU16(data, table + 4, storage))
    return {};
  for (std::size_t i = 0; i < count; ++i)
  {
    const std::size_t record = table + 6 + 12 * i;
    if (!Fits(data, record, 12))
      break;
    std::uint16_t fields[6];
    for (std::size_t f = 0; f < 6; ++f)
      ReadU16(data, record + 2 * f, fields[f]);
    if (fields[0] != platform || fields[1] != encoding || fields[2] != language || fields[3] != nameID)
      continue;
    const std::size_t start = table + storage + fields[5];
    if (!Fits(data, start, fields[4]))
      continue;
    const auto bytes = data.subspan(start, fields[4]);
    if (platform == 3)
      return Utf16BeToUtf8(bytes);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  return {};
}

std::string ReadName(std::span<const unsigned char> data, std::size_t table, std::uint16_t nameID)
{
  std::string name = FindName(data, table, 3, 1, 1033, nameID);
  if (name.empty())
    name = FindName(data, table, 1, 0, 0, nameID);
  return name;
}

// The bytes each table must hold for the fields read from it.
constexpr std::size_t kHeadBytes = 46;
constexpr std::size_t kNameBytes = 6;
constexpr std::size_t kHheaBytes = 10;

} // namespace

bool IsFontData(std::span<const unsigned char> data)
{
  static constexpr unsigned char kTrueType[4] = {0x00, 0x01, 0x00, 0x00};
  static constexpr unsigned char kOldTrueType[4] = {'1', 0x00, 0x00, 0x00};
  if (!Fits(data, 0, 4))
    return false;
  return std::memcmp(data.data(), kTrueType, 4) == 0 || std::memcmp(data.data(), kOldTrueType, 4) == 0 ||
         HasTag(data, 0, "OTTO") || HasTag(data, 0, "typ1") || HasTag(data, 0, "ttcf");
}

bool IsFontCollection(std::span<const unsigned char> data, std::uint32_t& faceCount)
{
  faceCount = 0;
  std::uint32_t version = 0;
  if (!HasTag(data, 0, "ttcf") || !ReadU32(data, 4, version))
    return false;
  if (version != 0x00010000 && version != 0x00020000)
    return false;
  return ReadU32(data, 8, faceCount);
}

FontFaceInfo ReadFontFaceInfo(std::span<const unsigned char> data, int faceIndex)
{
  FontFaceInfo info;
  if (!IsFontData(data) || faceIndex < 0)
    return info;

  std::uint32_t faceStart = 0;
  if (HasTag(data, 0, "ttcf"))
  {
    std::uint32_t faceCount = 0;
    if (!IsFontCollection(data, faceCount) || static_cast<std::uint32_t>(faceIndex) >= faceCount)
      return info;
    if (!ReadU32(data, 12 + 4 * static_cast<std::size_t>(faceIndex), faceStart))
      return info;
  }
  else if (faceIndex != 0)
  {
    return info;
  }

  std::uint16_t tableCount = 0;
  if (!ReadU16(data, static_cast<std::size_t>(faceStart) + 4, tableCount))
    return info;
  info.faceStart = faceStart;

  for (std::size_t i = 0; i < tableCount; ++i)
  {
    const std::size_t record = static_cast<std::size_t>(faceStart) + 12 + 16 * i;
    std::uint32_t offset = 0;
    if (!ReadU32(data, record + 8, offset))
      break;
    // The first record of each tag counts; one whose fields would lie outside the data counts as absent.
    if (HasTag(data, record, "head") && info.headOffset == 0 && Fits(data, offset, kHeadBytes))
      info.headOffset = offset;
    else if (HasTag(data, record, "name") && info.nameOffset == 0 && Fits(data, offset, kNameBytes))
      info.nameOffset = offset;
    else if (HasTag(data, record, "hhea") && info.hheaOffset == 0 && Fits(data, offset, kHheaBytes))
      info.hheaOffset = offset;
    else if (HasTag(data, record, "fdsc") && info.fdscOffset == 0 && offset < data.size())
      info.fdscOffset = offset;
  }

  if (info.headOffset != 0)
  {
    ReadU16(data, info.headOffset + 18, info.unitsPerEm);
    ReadU16(data, info.headOffset + 44, info.styleBits);
  }
  if (info.nameOffset != 0)
  {
    info.familyName = ReadName(data, info.nameOffset, 1);
    info.styleName = ReadName(data, info.nameOffset, 2);
  }
  if (info.hheaOffset != 0)
  {
    info.ascender = ReadS16Unchecked(data, info.hheaOffset + 4);
    info.descender = ReadS16Unchecked(data, info.hheaOffset + 6);
    info.lineGap = ReadS16Unchecked(data, info.hheaOffset + 8);
  }
  return info;
}

} // namespace ondrell::graphics
