#pragma once

// Builds small sfnt fonts and collections byte by byte, for feeding exact table contents to the readers.

#include <cstdint>
#include <string>
#include <vector>

namespace quorl_test {

struct FaceSpec
{
  std::uint16_t unitsPerEm = 1000;
  std::uint16_t macStyle = 0;
  std::int16_t ascender = 800;
  std::int16_t descender = -200;
  std::int16_t lineGap = 90;
  // Names as UTF-16 code units for the Windows record (platform 3, encoding 1, language 1033) and as raw
  // bytes for the Macintosh record (platform 1, encoding 0, language 0); an empty list/string omits it.
  std::u16string windowsFamily = u"Test";
  std::u16string windowsStyle = u"Regular";
  std::string macFamily;
  std::string macStyleName;
  bool withHead = true;
  bool withName = true;
  bool withHhea = true;
};

inline void PutU16(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v)
{
  out[at] = static_cast<unsigned char>(v >> 8);
  out[at + 1] = static_cast<unsigned char>(v);
}

inline void PutU32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v)
{
  PutU16(out, at, v >> 16);
  PutU16(out, at + 2, v & 0xFFFF);
}

inline void AppendU16(std::vector<unsigned char>& out, std::uint32_t v)
{
  out.push_back(static_cast<unsigned char>(v >> 8));
  out.push_back(static_cast<unsigned char>(v));
}

// One face whose table directory starts at absolute offset base (table offsets are absolute, as in a
// collection).
inline std::vector<unsigned char> BuildFace(const FaceSpec& spec, std::size_t base)
{
  struct Table
  {
    const char* tag;
    std::vector<unsigned char> bytes;
  };
  std::vector<Table> tables;

  if (spec.withHead)
  {
    std::vector<unsigned char> head(54, 0);
    PutU32(head, 0, 0x00010000);
    PutU32(head, 12, 0x5F0F3CF5);
    PutU16(head, 18, spec.unitsPerEm);
    PutU16(head, 44, spec.macStyle);
    tables.push_back({"head", head});
  }
  if (spec.withHhea)
  {
    std::vector<unsigned char> hhea(36, 0);
    PutU32(hhea, 0, 0x00010000);
    PutU16(hhea, 4, static_cast<std::uint16_t>(spec.ascender));
    PutU16(hhea, 6, static_cast<std::uint16_t>(spec.descender));
    PutU16(hhea, 8, static_cast<std::uint16_t>(spec.lineGap));
    tables.push_back({"hhea", hhea});
  }
  if (spec.withName)
  {
    struct Record
    {
      std::uint16_t platform, encoding, language, id;
      std::vector<unsigned char> text;
    };
    std::vector<Record> records;
    auto utf16 = [](const std::u16string& s) {
      std::vector<unsigned char> bytes;
      for (const char16_t c : s)
        AppendU16(bytes, c);
      return bytes;
    };
    if (!spec.macFamily.empty())
      records.push_back({1, 0, 0, 1, {spec.macFamily.begin(), spec.macFamily.end()}});
    if (!spec.macStyleName.empty())
      records.push_back({1, 0, 0, 2, {spec.macStyleName.begin(), spec.macStyleName.end()}});
    if (!spec.windowsFamily.empty())
      records.push_back({3, 1, 1033, 1, utf16(spec.windowsFamily)});
    if (!spec.windowsStyle.empty())
      records.push_back({3, 1, 1033, 2, utf16(spec.windowsStyle)});

    std::vector<unsigned char> name;
    AppendU16(name, 0);
    AppendU16(name, records.size());
    AppendU16(name, 6 + 12 * records.size());
    std::vector<unsigned char> storage;
    for (const Record& r : records)
    {
      AppendU16(name, r.platform);
      AppendU16(name, r.encoding);
      AppendU16(name, r.language);
      AppendU16(name, r.id);
      AppendU16(name, r.text.size());
      AppendU16(name, storage.size());
      storage.insert(storage.end(), r.text.begin(), r.text.end());
    }
    name.insert(name.end(), storage.begin(), storage.end());
    tables.push_back({"name", name});
  }

  std::vector<unsigned char> face(12 + 16 * tables.size(), 0);
  PutU32(face, 0, 0x00010000);
  PutU16(face, 4, tables.size());
  for (std::size_t i = 0; i < tables.size(); ++i)
  {
    while (face.size() % 4 != 0)
      face.push_back(0);
    const std::size_t record = 12 + 16 * i;
    for (int k = 0; k < 4; ++k)
      face[record + k] = static_cast<unsigned char>(tables[i].tag[k]);
    PutU32(face, record + 8, static_cast<std::uint32_t>(base + face.size()));
    PutU32(face, record + 12, static_cast<std::uint32_t>(tables[i].bytes.size()));
    face.insert(face.end(), tables[i].bytes.begin(), tables[i].bytes.end());
  }
  return face;
}

inline std::vector<unsigned char> BuildFont(const FaceSpec& spec)
{
  return BuildFace(spec, 0);
}

// A "ttcf" collection of the faces, with the given header version.
inline std::vector<unsigned char> BuildCollection(const std::vector<FaceSpec>& faces,
                                                  std::uint32_t version = 0x00010000)
{
  std::vector<unsigned char> out(12 + 4 * faces.size(), 0);
  out[0] = 't';
  out[1] = 't';
  out[2] = 'c';
  out[3] = 'f';
  PutU32(out, 4, version);
  PutU32(out, 8, static_cast<std::uint32_t>(faces.size()));
  for (std::size_t i = 0; i < faces.size(); ++i)
  {
    while (out.size() % 4 != 0)
      out.push_back(0);
    PutU32(out, 12 + 4 * i, static_cast<std::uint32_t>(out.size()));
    const std::vector<unsigned char> face = BuildFace(faces[i], out.size());
    out.insert(out.end(), face.begin(), face.end());
  }
  return out;
}

} // namespace quorl_test
