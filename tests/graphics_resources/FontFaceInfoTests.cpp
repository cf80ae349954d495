// Reading face descriptions from font bytes: single fonts and collections built byte by byte, name records in
// both encodings, and malformed data that must be refused without reading outside the bytes.

#include "FontBuilder.h"

#include "graphics/ModuleResources.h"
#include "graphics/FontFaceInfo.h"
#include "graphics/PlatformFont.h"
#include "graphics/Typeface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

using namespace ondrell::graphics;
using quorl_test::BuildCollection;
using quorl_test::BuildFont;
using quorl_test::FaceSpec;
using quorl_test::PutU16;
using quorl_test::PutU32;

namespace {

std::span<const unsigned char> EmbeddedRoboto()
{
  for (const ModuleResource& resource : ListModuleResources("TTF"))
  {
    if (resource.storedName == "\"ROBOTO-REGULAR.TTF\"")
      return resource.bytes;
  }
  return {};
}

// A valid description must only point at bytes that exist.
void ExpectInsideData(const FontFaceInfo& info, std::size_t size)
{
  if (info.headOffset != 0)
  {
    EXPECT_LE(info.headOffset + 46u, size);
  }
  if (info.nameOffset != 0)
  {
    EXPECT_LE(info.nameOffset + 6u, size);
  }
  if (info.hheaOffset != 0)
  {
    EXPECT_LE(info.hheaOffset + 10u, size);
  }
}

} // namespace

TEST(FontFaceInfo, ReadsEveryFieldOfASingleFont)
{
  FaceSpec spec;
  spec.unitsPerEm = 2048;
  spec.macStyle = 0x0005; // bold and underline
  spec.ascender = 1900;
  spec.descender = -500;
  spec.lineGap = 67;
  spec.windowsFamily = u"Caf\u00e9 Sans";
  spec.windowsStyle = u"Bold";
  const std::vector<unsigned char> font = BuildFont(spec);

  const FontFaceInfo info = ReadFontFaceInfo(font, 0);
  EXPECT_TRUE(info.IsValid());
  EXPECT_EQ(info.faceStart, 0u);
  EXPECT_EQ(info.unitsPerEm, 2048);
  EXPECT_EQ(info.styleBits, 5);
  EXPECT_TRUE(info.IsBold());
  EXPECT_FALSE(info.IsItalic());
  EXPECT_TRUE(info.IsUnderline());
  EXPECT_EQ(info.ascender, 1900);
  EXPECT_EQ(info.descender, -500);
  EXPECT_EQ(info.lineGap, 67);
  EXPECT_EQ(info.familyName, "Caf\xc3\xa9 Sans");
  EXPECT_EQ(info.styleName, "Bold");
  EXPECT_EQ(info.fdscOffset, 0u);
}

TEST(FontFaceInfo, NamesFallBackToMacintoshRecordsAndDecodeSurrogates)
{
  FaceSpec mac;
  mac.windowsFamily.clear();
  mac.windowsStyle.clear();
  mac.macFamily = "Old Face";
  mac.macStyleName = "Italic";
  FontFaceInfo info = ReadFontFaceInfo(BuildFont(mac), 0);
  EXPECT_EQ(info.familyName, "Old Face");
  EXPECT_EQ(info.styleName, "Italic");

  FaceSpec both = mac;
  both.windowsFamily = u"New Face";
  info = ReadFontFaceInfo(BuildFont(both), 0);
  EXPECT_EQ(info.familyName, "New Face"); // the Windows record wins when it has text
  EXPECT_EQ(info.styleName, "Italic");

  FaceSpec odd;
  odd.windowsFamily = std::u16string(u"A") + char16_t(0xD83D) + char16_t(0xDE00) + char16_t(0xDC00) + u"B";
  info = ReadFontFaceInfo(BuildFont(odd), 0);
  EXPECT_EQ(info.familyName, "A\xF0\x9F\x98\x80\xEF\xBF\xBD" "B"); // U+1F600, then a lone low surrogate as U+FFFD
}

TEST(FontFaceInfo, CollectionsSelectTheirFaceByIndex)
{
  FaceSpec regular;
  regular.windowsStyle = u"Regular";
  FaceSpec bold;
  bold.windowsStyle = u"Bold";
  bold.macStyle = 1;
  bold.unitsPerEm = 2000;

  for (const std::uint32_t version : {0x00010000u, 0x00020000u})
  {
    const std::vector<unsigned char> collection = BuildCollection({regular, bold}, version);
    std::uint32_t count = 0;
    EXPECT_TRUE(IsFontCollection(collection, count));
    EXPECT_EQ(count, 2u);

    const FontFaceInfo first = ReadFontFaceInfo(collection, 0);
    const FontFaceInfo second = ReadFontFaceInfo(collection, 1);
    EXPECT_TRUE(first.IsValid());
    EXPECT_TRUE(second.IsValid());
    EXPECT_EQ(first.styleName, "Regular");
    EXPECT_EQ(second.styleName, "Bold");
    EXPECT_EQ(second.unitsPerEm, 2000);
    EXPECT_TRUE(second.IsBold());
    EXPECT_GT(second.faceStart, first.faceStart);
    EXPECT_FALSE(ReadFontFaceInfo(collection, 2).IsValid());
    EXPECT_FALSE(ReadFontFaceInfo(collection, -1).IsValid());
  }

  // The platform font picks the face whose style name it asks for.
  const std::vector<unsigned char> collection = BuildCollection({regular, bold});
  EXPECT_EQ(MemoryFont(collection, nullptr, "Bold").GetFontData().faceIndex, 1);
  EXPECT_EQ(MemoryFont(collection, nullptr, "Regular").GetFontData().faceIndex, 0);
  EXPECT_EQ(MemoryFont(collection, nullptr).GetFontData().faceIndex, 0);
  EXPECT_EQ(MemoryFont(collection, nullptr, "Light").GetFontData().faceIndex, -1);
}

TEST(FontFaceInfo, AcceptsOnlyKnownSignatures)
{
  const std::vector<unsigned char> font = BuildFont(FaceSpec{});
  const struct
  {
    unsigned char tag[4];
    bool accepted;
  } cases[] = {
    {{0x00, 0x01, 0x00, 0x00}, true}, {{'1', 0, 0, 0}, true}, {{'O', 'T', 'T', 'O'}, true},
    {{'t', 'y', 'p', '1'}, true},     {{'t', 'r', 'u', 'e'}, false}, {{0x00, 0x02, 0x00, 0x00}, false},
    {{'w', 'O', 'F', 'F'}, false},    {{0, 0, 0, 0}, false},
  };
  for (const auto& c : cases)
  {
    std::vector<unsigned char> copy = font;
    std::copy(c.tag, c.tag + 4, copy.begin());
    EXPECT_EQ(IsFontData(copy), c.accepted) << int(c.tag[0]) << int(c.tag[1]);
    EXPECT_EQ(ReadFontFaceInfo(copy, 0).IsValid(), c.accepted) << int(c.tag[0]) << int(c.tag[1]);
    EXPECT_FALSE(ReadFontFaceInfo(copy, 1).IsValid()); // only collections have a second face
  }
}

TEST(FontFaceInfo, MissingTablesMakeTheFaceInvalid)
{
  for (const int missing : {0, 1, 2})
  {
    FaceSpec spec;
    spec.withHead = missing != 0;
    spec.withName = missing != 1;
    spec.withHhea = missing != 2;
    const std::vector<unsigned char> font = BuildFont(spec);
    EXPECT_FALSE(ReadFontFaceInfo(font, 0).IsValid()) << "missing table " << missing;
    EXPECT_EQ(LoadPlatformFont("test", font), nullptr);
  }
}

TEST(FontFaceInfo, MalformedDataIsRefusedWithoutReadingOutsideIt)
{
  const std::vector<unsigned char> good = BuildFont(FaceSpec{});
  const std::size_t headRecord = 12; // the builder writes head, hhea, name in this order
  const std::size_t nameRecord = 12 + 32;

  struct Case
  {
    const char* what;
    std::vector<unsigned char> bytes;
    int face;
    bool valid; // the tables that do lie inside the data are still found
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}, 0, false});
  cases.push_back({"three bytes", {0x00, 0x01, 0x00}, 0, false});
  cases.push_back({"signature only", {0x00, 0x01, 0x00, 0x00}, 0, false});
  cases.push_back({"directory cut short", {good.begin(), good.begin() + 20}, 0, false});
  {
    std::vector<unsigned char> b = good;
    PutU16(b, 4, 0xFFFF); // far more tables than records: the records that exist are read
    cases.push_back({"table count too large", b, 0, true});
  }
  {
    std::vector<unsigned char> b = good;
    PutU32(b, headRecord + 8, static_cast<std::uint32_t>(b.size() - 10)); // head runs off the end
    cases.push_back({"head past the end", b, 0, false});
  }
  {
    std::vector<unsigned char> b = good;
    PutU32(b, headRecord + 8, 0xFFFFFFF0u); // offset arithmetic would wrap in 32 bits
    cases.push_back({"head offset near 4 GiB", b, 0, false});
  }
  {
    std::vector<unsigned char> b = good;
    const std::size_t name = (std::size_t(b[nameRecord + 8]) << 24) | (std::size_t(b[nameRecord + 9]) << 16) |
                             (std::size_t(b[nameRecord + 10]) << 8) | b[nameRecord + 11];
    PutU16(b, name + 2, 0xFFFF); // more name records than bytes
    PutU16(b, name + 4, 0xFFFF); // string storage beyond the end
    cases.push_back({"name records and storage out of range", b, 0, true});
  }
  cases.push_back({"ttcf with unknown version", BuildCollection({FaceSpec{}}, 0x00030000), 0, false});
  cases.push_back({"ttcf without faces", BuildCollection({}), 0, false});
  {
    std::vector<unsigned char> b = BuildCollection({FaceSpec{}});
    PutU32(b, 12, 0x7FFFFFF0u); // face directory beyond the end
    cases.push_back({"ttcf face offset past the end", b, 0, false});
  }
  {
    std::vector<unsigned char> b = BuildCollection({FaceSpec{}});
    PutU32(b, 8, 0xFFFFFFFFu); // claims four billion faces but holds one offset
    cases.push_back({"ttcf face count too large", b, 5, false});
  }
  cases.push_back({"ttcf header cut short", {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0}, 0, false});

  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    const FontFaceInfo info = ReadFontFaceInfo(c.bytes, c.face);
    ExpectInsideData(info, c.bytes.size());
    EXPECT_EQ(info.IsValid(), c.valid);
    if (!c.valid)
    {
      if (c.face == 0) // platform fonts are made from the first face
      {
        EXPECT_EQ(LoadPlatformFont("test", c.bytes), nullptr);
      }
      PlatformFontData data;
      data.bytes = c.bytes;
      data.faceIndex = c.face;
      data.info = info;
      EXPECT_EQ(Typeface::Create(data), nullptr);
    }
  }
  // Tables present but no readable family name: no platform font can be made from it.
  EXPECT_TRUE(ReadFontFaceInfo(cases[7].bytes, 0).familyName.empty());
  EXPECT_EQ(LoadPlatformFont("test", cases[7].bytes), nullptr);
}

TEST(FontFaceInfo, TruncatedAndCorruptedRobotoNeverReadsOutsideTheBytes)
{
  const std::span<const unsigned char> roboto = EmbeddedRoboto();
  ASSERT_GT(roboto.size(), 4096u);

  // Every prefix through the table directory and the start of the tables, then coarser steps to the end.
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 1024; ++n)
    lengths.push_back(n);
  for (std::size_t n = 1024; n < roboto.size(); n = n * 5 / 4)
    lengths.push_back(n);
  for (const std::size_t n : lengths)
  {
    // A copy of exactly n bytes, so the sanitizers catch any read past the end.
    const std::vector<unsigned char> prefix(roboto.begin(), roboto.begin() + static_cast<std::ptrdiff_t>(n));
    const FontFaceInfo info = ReadFontFaceInfo(prefix, 0);
    ExpectInsideData(info, n);
  }

  // Deterministic byte corruption of the directory and the head, hhea and name tables.
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  const std::size_t region = 2048;
  int refused = 0;
  for (int round = 0; round < 300; ++round)
  {
    std::vector<unsigned char> copy(roboto.begin(), roboto.end());
    const int flips = 1 + static_cast<int>(next() % 8);
    for (int i = 0; i < flips; ++i)
      copy[next() % region] = static_cast<unsigned char>(next());
    const FontFaceInfo info = ReadFontFaceInfo(copy, 0);
    ExpectInsideData(info, copy.size());
    const std::unique_ptr<PlatformFont> font = LoadPlatformFont("fuzz", copy);
    refused += font == nullptr;
    if (font && round % 10 == 0)
      Typeface::Create(font->GetFontData()); // FreeType may accept or refuse; it must not misbehave
  }
  EXPECT_GT(refused, 0);
}
