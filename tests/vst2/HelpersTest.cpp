// The adapter's helpers: key-code conversion and bounded copies into host buffers.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vst2/VstHostText.h"
#include "vst2/VstKeyCode.h"

namespace ondrell {
namespace {

TEST(VstKeyCode, NamedKeysMapToTheWindowsCodeOfTheSameKey) {
  struct Case {
    int vst;
    int windows;
  };
  const Case cases[] = {{1, 8},    {2, 9},    {3, 12},   {4, 13},   {19, 13},  {5, 19},   {6, 27},  {7, 32},
                        {8, 34},   {16, 34},  {15, 33},  {9, 35},   {10, 36},  {11, 37},  {14, 40}, {17, 41},
                        {18, 42},  {20, 44},  {21, 45},  {22, 46},  {23, 47},  {24, 96},  {33, 105}, {34, 106},
                        {39, 111}, {40, 112}, {51, 123}, {52, 144}, {53, 145}, {54, 16},  {55, 17}, {56, 18},
                        {58, 0},   {200, 0},  {-3, 0}};
  for (const Case& c : cases) EXPECT_EQ(WindowsVirtualKeyFromVst(c.vst, 'x'), c.windows) << "host code " << c.vst;
}

TEST(VstKeyCode, CodesZeroAndEqualsAreLookedUpFromTheCharacterAsAUsLayoutWould) {
  struct Case {
    int character;
    int windows;
  };
  const Case cases[] = {{'a', 'A'}, {'Z', 'Z'}, {'7', '7'}, {'&', '7'}, {')', '0'}, {' ', 32},  {'=', 0xBB},
                        {'+', 0xBB}, {'-', 0xBD}, {'_', 0xBD}, {';', 0xBA}, {'/', 0xBF}, {'?', 0xBF}, {'`', 0xC0},
                        {'[', 0xDB}, {'\\', 0xDC}, {'}', 0xDD}, {'"', 0xDE}, {',', 0xBC}, {'>', 0xBE}, {'\r', 13},
                        {0, 0},     {0xE9, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(WindowsVirtualKeyFromVst(0, c.character), c.windows) << "character " << c.character;
    EXPECT_EQ(WindowsVirtualKeyFromVst(57, c.character), c.windows) << "character " << c.character;
  }
}

TEST(VstHostText, CopiesAreCutAtTheLimitOnACharacterBoundary) {
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  vst::CopyTextToHost(buffer, "Oversampling", 8);
  EXPECT_STREQ(buffer, "Oversamp");
  EXPECT_EQ(buffer[9], '#');
  // "é" is two bytes; a cut inside it steps back before it.
  vst::CopyTextToHost(buffer, "abcd\xC3\xA9z", 5);
  EXPECT_STREQ(buffer, "abcd");
  vst::CopyTextToHost(buffer, "", 8);
  EXPECT_STREQ(buffer, "");
}

TEST(VstHostText, HostTextsAreReadUpToTheirTerminatorOrTheLimit) {
  EXPECT_EQ(vst::TextFromHost("50 Hz"), "50 Hz");
  const std::string unterminated(300, 'x');
  EXPECT_EQ(vst::TextFromHost(unterminated.c_str()).size(), vst::kHostInputTextChars);
}

}  // namespace
}  // namespace ondrell
