#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/core/TestPlugin.h"

using namespace ondrell;
using ondrell::test::TestPlugin;

namespace {

// Values in the chunk layout: little-endian doubles in index order.
ByteChunk ChunkOf(const std::vector<double>& values) {
  ByteChunk c;
  for (double v : values) c.Append(v);
  return c;
}

std::vector<double> Values(const TestPlugin& p) {
  std::vector<double> v;
  for (int i = 0; i < p.NParams(); ++i) v.push_back(p.GetParam(i)->Value());
  return v;
}

const std::vector<double> kDefaults = {0, 0, 0, 2, 0, 3, 0, 0, 0, 0};
const std::vector<double> kOther = {5, 3, -7.5, 1, 12.25, 6, -20, 20, 10, 1};

// The announcement of a load: every parameter with source Preset, in index order.
std::vector<std::string> PresetAnnouncement(int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) {
    const std::string idx = std::to_string(i);
    lines.push_back("OnParamChange(" + idx + ",Preset,-1)");
    lines.push_back("OnParamChange(" + idx + ")");
    lines.push_back("ForEditor(" + idx + ",Preset)");
  }
  return lines;
}

}  // namespace

TEST(PluginState, DefaultsSaveAsEightyBytesAndLoadBackUnchanged) {
  TestPlugin p;
  ByteChunk c;
  ASSERT_TRUE(p.SerializeState(c));
  ASSERT_EQ(c.Size(), 80);
  EXPECT_EQ(std::memcmp(c.Data(), ChunkOf(kDefaults).Data(), 80), 0);
  EXPECT_EQ(p.UnserializeState(c, 0), 80);
  EXPECT_EQ(Values(p), kDefaults);
  EXPECT_EQ(p.log, PresetAnnouncement(10));
}

TEST(PluginState, OtherValuesRoundTrip) {
  TestPlugin a;
  ASSERT_EQ(a.UnserializeParams(ChunkOf(kOther), 0), 80);
  ByteChunk saved;
  a.SerializeParams(saved);
  TestPlugin b;
  EXPECT_EQ(b.UnserializeParams(saved, 0), 80);
  EXPECT_EQ(Values(b), kOther);
}

TEST(PluginState, ShortChunkKeepsWhatWasReadAndStillAnnouncesAll) {
  TestPlugin p;
  ASSERT_TRUE(p.GetParam(9)->SetValue(1.0));
  ByteChunk c = ChunkOf(kOther);
  ByteChunk shortChunk;
  shortChunk.AppendBytes(c.Data(), 79);
  EXPECT_EQ(p.UnserializeParams(shortChunk, 0), -1);
  std::vector<double> expected(kOther.begin(), kOther.begin() + 9);
  expected.push_back(1.0);  // parameter 9 as it was
  EXPECT_EQ(Values(p), expected);
  EXPECT_EQ(p.log, PresetAnnouncement(10));
}

TEST(PluginState, ReadsFromAStartPositionAndLeavesTrailingBytes) {
  TestPlugin p;
  ByteChunk c;
  c.Append(uint64_t{0xFFFFFFFFFFFFFFFF});  // an 8-byte header, which would be a NaN if read as a value
  c.AppendChunk(ChunkOf(kOther));
  EXPECT_EQ(c.Size(), 88);
  EXPECT_EQ(p.UnserializeParams(c, 8), 88);
  EXPECT_EQ(Values(p), kOther);
  c.Append(1.0);
  EXPECT_EQ(p.UnserializeParams(c, 8), 88);  // the extra value is not read; the caller sees where values end
  EXPECT_EQ(p.UnserializeParams(c, -1), -1);
  EXPECT_EQ(p.UnserializeParams(c, 2000), -1);
  EXPECT_EQ(Values(p), kOther);
}

TEST(PluginState, LoadedValuesAreConstrained) {
  TestPlugin p;
  std::vector<double> v = kDefaults;
  v[2] = 55.0;   // above the maximum of 20
  v[8] = -99.0;  // below the minimum of -20
  v[3] = 2.5;    // stepped: halves go away from zero
  v[5] = 1.4;
  EXPECT_EQ(p.UnserializeParams(ChunkOf(v), 0), 80);
  EXPECT_EQ(p.GetParam(2)->Value(), 20.0);
  EXPECT_EQ(p.GetParam(8)->Value(), -20.0);
  EXPECT_EQ(p.GetParam(3)->Value(), 3.0);
  EXPECT_EQ(p.GetParam(5)->Value(), 1.0);
}

TEST(PluginState, NonFiniteValuesInAChunkAreRefused) {
  TestPlugin p;
  ASSERT_EQ(p.UnserializeParams(ChunkOf(kOther), 0), 80);
  std::vector<double> v = kDefaults;
  v[2] = std::numeric_limits<double>::quiet_NaN();
  v[4] = std::numeric_limits<double>::infinity();
  v[8] = -std::numeric_limits<double>::infinity();
  EXPECT_EQ(p.UnserializeParams(ChunkOf(v), 0), 80);
  std::vector<double> expected = kDefaults;
  expected[2] = kOther[2];
  expected[4] = kOther[4];
  expected[8] = kOther[8];
  EXPECT_EQ(Values(p), expected);
}

TEST(PluginPresets, EntryPointInitialisationGivesOneProgramNamedEmpty) {
  TestPlugin p(test::EqConfig(), PluginApi::VST2);
  EXPECT_EQ(p.NPresets(), 1);
  EXPECT_STREQ(p.GetPresetName(0), "empty");
  p.InitializeEmptyPresets();
  EXPECT_STREQ(p.GetPresetName(0), "Empty");
  EXPECT_STREQ(p.GetPresetName(1), "");
  EXPECT_STREQ(p.GetPresetName(-1), "");
  ByteChunk bank;
  ASSERT_TRUE(p.SerializePresets(bank));
  ASSERT_EQ(bank.Size(), 4 + 5 + 1 + 80);
  ByteChunk expected;
  expected.AppendString("Empty");
  expected.Append(uint8_t{1});
  expected.AppendChunk(ChunkOf(kDefaults));
  EXPECT_EQ(bank, expected);
}

TEST(PluginPresets, RecallingAnUninitialisedPresetMakesAUserPreset) {
  Config c = test::EqConfig();
  c.nPresets = 3;
  TestPlugin p(c, PluginApi::VST2);
  ASSERT_EQ(p.UnserializeParams(ChunkOf(kOther), 0), 80);
  p.log.clear();
  EXPECT_TRUE(p.RecallPreset(1));
  EXPECT_STREQ(p.GetPresetName(1), "user preset 1");
  EXPECT_EQ(p.GetCurrentPresetIndex(), 1);
  ASSERT_GE(p.log.size(), 2u);
  EXPECT_EQ(p.log[0], "OnPresetListChanged");
  EXPECT_EQ(p.log[1], "OnStateRestored");
  EXPECT_EQ(p.editorValues.size(), 10u);  // the restored state reaches the editor, normalised
  EXPECT_TRUE(p.editorValues[2].normalised);
  EXPECT_DOUBLE_EQ(p.editorValues[2].value, p.GetParam(2)->Normalised());
  EXPECT_TRUE(p.RecallPreset(2));
  EXPECT_STREQ(p.GetPresetName(2), "user preset 2");

  // Recalling preset 1 loads the values it stored.
  ASSERT_EQ(p.UnserializeParams(ChunkOf(kDefaults), 0), 80);
  EXPECT_TRUE(p.RecallPreset(1));
  EXPECT_EQ(Values(p), kOther);
}

TEST(PluginPresets, OutOfRangeRecallChangesNothing) {
  TestPlugin p;
  p.InitializeEmptyPresets();
  p.log.clear();
  EXPECT_FALSE(p.RecallPreset(-1));
  EXPECT_FALSE(p.RecallPreset(p.NPresets()));
  EXPECT_EQ(p.GetCurrentPresetIndex(), 0);
  EXPECT_TRUE(p.log.empty());
}

TEST(PluginPresets, ModifyCurrentPresetStoresValuesAndRenames) {
  TestPlugin p;
  p.InitializeEmptyPresets();
  ASSERT_EQ(p.UnserializeParams(ChunkOf(kOther), 0), 80);
  p.ModifyCurrentPreset(nullptr);
  EXPECT_STREQ(p.GetPresetName(0), "Empty");
  p.ModifyCurrentPreset("");
  EXPECT_STREQ(p.GetPresetName(0), "Empty");
  p.ModifyCurrentPreset("Bright");
  EXPECT_STREQ(p.GetPresetName(0), "Bright");
  const std::string longName(300, 'x');
  p.ModifyCurrentPreset(longName.c_str());
  EXPECT_EQ(std::string(p.GetPresetName(0)), std::string(255, 'x'));
  ASSERT_EQ(p.UnserializeParams(ChunkOf(kDefaults), 0), 80);
  EXPECT_TRUE(p.RecallPreset(0));
  EXPECT_EQ(Values(p), kOther);
}

TEST(PluginPresets, BankRoundTripAcrossInstances) {
  Config c = test::EqConfig();
  c.nPresets = 2;
  TestPlugin a(c, PluginApi::VST2);
  a.InitializeEmptyPresets();
  ASSERT_EQ(a.UnserializeParams(ChunkOf(kOther), 0), 80);
  a.ModifyCurrentPreset("Warm");
  ByteChunk bank;
  ASSERT_TRUE(a.SerializePresets(bank));
  EXPECT_EQ(bank.Size(), 2 * (4 + 1 + 80) + 4 + 5);

  TestPlugin b(c, PluginApi::VST2);
  EXPECT_EQ(b.UnserializePresets(bank, 0), bank.Size());
  EXPECT_STREQ(b.GetPresetName(0), "Warm");
  EXPECT_STREQ(b.GetPresetName(1), "Empty");
  EXPECT_EQ(Values(b), kOther);  // the current preset (0) is recalled
  ByteChunk again;
  b.SerializePresets(again);
  EXPECT_EQ(again, bank);
}

TEST(PluginPresets, DamagedBanksLoseNothing) {
  TestPlugin p;
  p.InitializeEmptyPresets();
  ASSERT_EQ(p.UnserializeParams(ChunkOf(kOther), 0), 80);
  p.ModifyCurrentPreset("Keep");
  ByteChunk before;
  p.SerializePresets(before);

  ByteChunk good;
  good.AppendString("New");
  good.Append(uint8_t{1});
  good.AppendChunk(ChunkOf(kDefaults));
  struct Case { const char* what; int cut; };
  for (const Case& k : {Case{"empty", 0}, Case{"half a length", 2}, Case{"name cut", 5}, Case{"no flag", 7},
                        Case{"values cut", 50}}) {
    ByteChunk damaged;
    damaged.AppendBytes(good.Data(), k.cut);
    EXPECT_EQ(p.UnserializePresets(damaged, 0), -1) << k.what;
    ByteChunk after;
    p.SerializePresets(after);
    if (k.cut < 7) {
      EXPECT_EQ(after, before) << k.what;  // name, flag and values kept
    }
    EXPECT_EQ(Values(p), kOther) << k.what;            // the current preset is recalled again
  }
}

TEST(PluginPresets, BankWithALongNameOrOddFlag) {
  TestPlugin p;
  ByteChunk bank;
  bank.AppendString(std::string(300, 'n'));
  bank.Append(uint8_t{2});  // any non-zero flag means initialized
  bank.AppendChunk(ChunkOf(kOther));
  EXPECT_EQ(p.UnserializePresets(bank, 0), bank.Size());
  EXPECT_EQ(std::string(p.GetPresetName(0)), std::string(255, 'n'));
  EXPECT_EQ(Values(p), kOther);

  ByteChunk off;
  off.AppendString("Off");
  off.Append(uint8_t{0});
  TestPlugin q;
  EXPECT_EQ(q.UnserializePresets(off, 0), off.Size());
  EXPECT_STREQ(q.GetPresetName(0), "user preset 1");  // recalling the uninitialised current preset names it
}

// A bank that marks the current preset uninitialised, read into a plug-in whose preset already held values:
// recalling it stores one fresh set of values, so the next bank is well-formed.
TEST(PluginPresets, UninitialisedPresetWithAnOldChunkStoresOneSetOfValues) {
  TestPlugin p;
  p.InitializeEmptyPresets();
  ByteChunk bank;
  bank.AppendString("");
  bank.Append(uint8_t{0});
  EXPECT_EQ(p.UnserializePresets(bank, 0), bank.Size());
  EXPECT_STREQ(p.GetPresetName(0), "user preset 1");
  ByteChunk written;
  ASSERT_TRUE(p.SerializePresets(written));
  EXPECT_EQ(written.Size(), 4 + 13 + 1 + 80);
  TestPlugin q;
  EXPECT_EQ(q.UnserializePresets(written, 0), written.Size());
}
