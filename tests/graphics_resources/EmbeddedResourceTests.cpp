// The embedded table: the stored names and types the lookup relies on, the pictures' pixel sizes and formats
// (read from the PNG headers), the knob strips' grids, and the font carried byte for byte from the package.

#include "graphics/ModuleResources.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace ondrell::graphics;

namespace {

// Every resource the library carries, pictures first.
const std::vector<ModuleResource>& AllResources()
{
  static const std::vector<ModuleResource> all = [] {
    std::vector<ModuleResource> list = ListModuleResources("PNG");
    for (ModuleResource& font : ListModuleResources("TTF"))
      list.push_back(std::move(font));
    return list;
  }();
  return all;
}

const ModuleResource* FindStored(std::string_view storedName)
{
  for (const ModuleResource& resource : AllResources())
  {
    if (resource.storedName == storedName)
      return &resource;
  }
  return nullptr;
}

std::uint32_t BigEndian32(const unsigned char* p)
{
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

struct PictureCase
{
  const char* storedName;
  std::uint32_t width;
  std::uint32_t height;
  int colourType; // PNG: 2 = RGB, 6 = RGBA
};

const PictureCase kPictures[] = {
  {"\"QEQ_BACK.PNG\"", 664, 215, 2},
  {"\"QEQ_BACK@2X.PNG\"", 1328, 430, 2},
  {"\"SMALLKNOB.PNG\"", 752, 799, 6},
  {"\"SMALLKNOB@2X.PNG\"", 1504, 1598, 6},
  {"\"X271_FRAME_STACK_FIXED_AGAIN.PNG\"", 1024, 1088, 6},
  {"\"X271_FRAME_STACK_FIXED_AGAIN@2X.PNG\"", 1888, 2006, 6},
  {"\"QEQ_OS.PNG\"", 29, 58, 2},
  {"\"QEQ_OS@2X.PNG\"", 58, 116, 2},
};

// Decodes an embedded PNG with Cairo (premultiplied ARGB32 or RGB24).
struct Decoded
{
  cairo_surface_t* surface = nullptr;
  ~Decoded() { cairo_surface_destroy(surface); }
};

Decoded Decode(const ModuleResource& resource)
{
  struct Reader
  {
    std::span<const unsigned char> bytes;
    std::size_t at = 0;
  } reader{resource.bytes};
  Decoded decoded;
  decoded.surface = cairo_image_surface_create_from_png_stream(
    [](void* closure, unsigned char* data, unsigned int length) {
      auto* r = static_cast<Reader*>(closure);
      if (r->bytes.size() - r->at < length)
        return CAIRO_STATUS_READ_ERROR;
      std::copy_n(r->bytes.data() + r->at, length, data);
      r->at += length;
      return CAIRO_STATUS_SUCCESS;
    },
    &reader);
  return decoded;
}

std::uint32_t PixelAt(cairo_surface_t* surface, int x, int y)
{
  const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  return reinterpret_cast<const std::uint32_t*>(row)[x];
}

int AlphaAt(cairo_surface_t* surface, int x, int y)
{
  return static_cast<int>(PixelAt(surface, x, y) >> 24);
}

struct Rgb
{
  int r, g, b;
};

// The colour of the pixel nearest to the point at radius r and the given angle (clockwise from straight up)
// from the centre of a frame's cell.
Rgb ColourOnRay(cairo_surface_t* surface, int cell, int frame, double radius, double degrees)
{
  const double pi = 3.14159265358979323846;
  const double cx = (frame % 16) * cell + cell / 2.0;
  const double cy = (frame / 16) * cell + cell / 2.0;
  const int x = static_cast<int>(std::floor(cx + radius * std::sin(degrees * pi / 180.0)));
  const int y = static_cast<int>(std::floor(cy - radius * std::cos(degrees * pi / 180.0)));
  const std::uint32_t p = PixelAt(surface, x, y);
  return {static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF)};
}

} // namespace

TEST(EmbeddedResources, HoldsThePicturesAndTheFontUnderTheirStoredNamesAndTypes)
{
  EXPECT_EQ(AllResources().size(), 9u);
  for (const PictureCase& picture : kPictures)
  {
    const ModuleResource* resource = FindStored(picture.storedName);
    ASSERT_NE(resource, nullptr) << picture.storedName;
    EXPECT_EQ(resource->type, "PNG");
  }
  const ModuleResource* font = FindStored("\"ROBOTO-REGULAR.TTF\"");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->type, "TTF");
}

TEST(EmbeddedResources, PicturesHaveTheEditorsPixelSizesAndFormats)
{
  static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const PictureCase& picture : kPictures)
  {
    SCOPED_TRACE(picture.storedName);
    const ModuleResource* resource = FindStored(picture.storedName);
    ASSERT_NE(resource, nullptr);
    ASSERT_GT(resource->bytes.size(), 33u);
    const unsigned char* png = resource->bytes.data();
    EXPECT_TRUE(std::equal(kSignature, kSignature + 8, png));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(png + 12), 4), "IHDR");
    EXPECT_EQ(BigEndian32(png + 16), picture.width);
    EXPECT_EQ(BigEndian32(png + 20), picture.height);
    EXPECT_EQ(png[24], 8); // bits per channel
    EXPECT_EQ(png[25], picture.colourType);
  }
}

TEST(EmbeddedResources, KnobStripsHoldAKnobInEveryUsedCellAndNothingInTheSpareOne)
{
  // 271 frames fill 16 x 17 cells; the last row's 16th cell is unused. Each knob is centred in its cell.
  const struct
  {
    const char* storedName;
    int cell;
  } strips[] = {
    {"\"SMALLKNOB.PNG\"", 47},
    {"\"SMALLKNOB@2X.PNG\"", 94},
    {"\"X271_FRAME_STACK_FIXED_AGAIN.PNG\"", 64},
    {"\"X271_FRAME_STACK_FIXED_AGAIN@2X.PNG\"", 118},
  };
  for (const auto& strip : strips)
  {
    SCOPED_TRACE(strip.storedName);
    const Decoded decoded = Decode(*FindStored(strip.storedName));
    ASSERT_EQ(cairo_surface_status(decoded.surface), CAIRO_STATUS_SUCCESS);
    cairo_surface_flush(decoded.surface);
    for (const int frame : {0, 1, 135, 269, 270})
    {
      const int x = (frame % 16) * strip.cell;
      const int y = (frame / 16) * strip.cell;
      EXPECT_EQ(AlphaAt(decoded.surface, x + strip.cell / 2, y + strip.cell / 2), 255) << "frame " << frame;
      EXPECT_EQ(AlphaAt(decoded.surface, x, y), 0) << "corner of frame " << frame;
    }
    int inked = 0;
    for (int y = 16 * strip.cell; y < 17 * strip.cell; ++y)
    {
      for (int x = 15 * strip.cell; x < 16 * strip.cell; ++x)
        inked += AlphaAt(decoded.surface, x, y) != 0;
    }
    EXPECT_EQ(inked, 0);
  }
}

TEST(EmbeddedResources, FontIsTheInstalledRobotoRegularByteForByte)
{
  std::ifstream file(QUORL_ROBOTO_REGULAR_TTF, std::ios::binary);
  ASSERT_TRUE(file) << QUORL_ROBOTO_REGULAR_TTF;
  const std::vector<unsigned char> expected((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const ModuleResource* font = FindStored("\"ROBOTO-REGULAR.TTF\"");
  ASSERT_NE(font, nullptr);
  ASSERT_EQ(font->bytes.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), font->bytes.begin()));
}

TEST(EmbeddedResources, KnobPointersSweep270DegreesOverThe271Frames)
{
  // Frame f shows the value f / 270, so its pointer stands at -135 + f degrees from straight up. The
  // frequency knobs have a white pointer on a dark cap, the level knobs an orange one on a metal cap.
  const struct
  {
    const char* storedName;
    int cell;
    double radiusOfCell;
    bool orange;
  } strips[] = {
    {"\"SMALLKNOB.PNG\"", 47, 0.22, true},
    {"\"SMALLKNOB@2X.PNG\"", 94, 0.22, true},
    {"\"X271_FRAME_STACK_FIXED_AGAIN.PNG\"", 64, 0.28, false},
    {"\"X271_FRAME_STACK_FIXED_AGAIN@2X.PNG\"", 118, 0.28, false},
  };
  for (const auto& strip : strips)
  {
    SCOPED_TRACE(strip.storedName);
    const Decoded decoded = Decode(*FindStored(strip.storedName));
    ASSERT_EQ(cairo_surface_status(decoded.surface), CAIRO_STATUS_SUCCESS);
    cairo_surface_flush(decoded.surface);
    const double radius = strip.radiusOfCell * strip.cell;
    for (const int frame : {0, 54, 90, 135, 180, 216, 270})
    {
      const double pointer = -135.0 + frame;
      const Rgb on = ColourOnRay(decoded.surface, strip.cell, frame, radius, pointer);
      const Rgb off = ColourOnRay(decoded.surface, strip.cell, frame, radius, pointer + 180.0);
      if (strip.orange)
      {
        EXPECT_GT(on.r - on.b, 80) << "frame " << frame;
        EXPECT_LT(off.r - off.b, 30) << "frame " << frame;
      }
      else
      {
        EXPECT_GT(std::min({on.r, on.g, on.b}), 170) << "frame " << frame;
        EXPECT_LT(std::max({off.r, off.g, off.b}), 110) << "frame " << frame;
      }
    }
  }
}
