#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "core/ByteChunk.h"

using namespace ondrell;

TEST(ByteChunk, AppendsValuesLittleEndianAndReadsThemBack) {
  ByteChunk c;
  EXPECT_EQ(c.Append(int32_t{0x01020304}), 4);
  EXPECT_EQ(c.Append(1.5), 12);
  EXPECT_EQ(c.Append(uint8_t{7}), 13);
  const uint8_t expectedInt[4] = {0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(std::memcmp(c.Data(), expectedInt, 4), 0);
  uint64_t bits = 0;
  std::memcpy(&bits, c.Data() + 4, 8);
  EXPECT_EQ(bits, 0x3FF8000000000000ull);  // IEEE-754 binary64 of 1.5

  int32_t i = 0;
  double d = 0.0;
  uint8_t b = 0;
  int pos = c.Read(i, 0);
  pos = c.Read(d, pos);
  pos = c.Read(b, pos);
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(i, 0x01020304);
  EXPECT_EQ(d, 1.5);
  EXPECT_EQ(b, 7);
}

TEST(ByteChunk, ReadsOutsideTheChunkFailAndLeaveTheValue) {
  ByteChunk c;
  c.Append(2.0);
  c.Append(uint8_t{1});  // 9 bytes
  const int positions[] = {-1, -100, 2, 8, 9, 1000, 2147483647};
  for (int pos : positions) {
    double d = 42.0;
    EXPECT_EQ(c.Read(d, pos), -1) << pos;
    EXPECT_EQ(d, 42.0) << pos;
  }
  double d = 0.0;
  EXPECT_EQ(c.Read(d, 0), 8);
  uint8_t b = 0;
  EXPECT_EQ(c.Read(b, 8), 9);
}

TEST(ByteChunk, StringsCarryAThirtyTwoBitLength) {
  ByteChunk c;
  EXPECT_EQ(c.AppendString("Empty"), 9);
  EXPECT_EQ(c.AppendString(""), 13);
  std::string s = "old";
  int pos = c.ReadString(s, 0);
  EXPECT_EQ(pos, 9);
  EXPECT_EQ(s, "Empty");
  pos = c.ReadString(s, pos);
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(s, "");
}

TEST(ByteChunk, BadStringLengths) {
  const struct { int32_t length; int payload; int result; const char* text; } cases[] = {
      {-5, 0, 4, ""},         // a length below 1 is the empty text
      {0, 3, 4, ""},
      {3, 3, 7, "abc"},
      {4, 3, -1, "keep"},      // runs past the end
      {2147483647, 3, -1, "keep"},
  };
  for (const auto& c : cases) {
    ByteChunk chunk;
    chunk.Append(c.length);
    chunk.AppendBytes("abc", c.payload);
    std::string text = "keep";
    EXPECT_EQ(chunk.ReadString(text, 0), c.result) << c.length;
    EXPECT_EQ(text, c.text) << c.length;
  }
  ByteChunk tooShort;
  tooShort.AppendBytes("ab", 2);
  std::string text = "keep";
  EXPECT_EQ(tooShort.ReadString(text, 0), -1);
  EXPECT_EQ(text, "keep");
}

TEST(ByteChunk, AppendChunkClearAndGrowth) {
  ByteChunk a;
  ByteChunk b;
  a.AppendString("x");
  b.Append(int32_t{9});
  EXPECT_EQ(a.AppendChunk(b), 9);
  EXPECT_EQ(a.AppendChunk(a), 18);  // appending itself doubles it
  int32_t v = 0;
  EXPECT_EQ(a.Read(v, 14), 18);
  EXPECT_EQ(v, 9);
  a.Clear();
  EXPECT_EQ(a.Size(), 0);
  EXPECT_EQ(a.AppendBytes(nullptr, 5), 0);

  ByteChunk big;
  for (int i = 0; i < 3000; ++i) big.Append(static_cast<double>(i));
  EXPECT_EQ(big.Size(), 24000);
  double last = 0.0;
  EXPECT_EQ(big.Read(last, 23992), 24000);
  EXPECT_EQ(last, 2999.0);
}
