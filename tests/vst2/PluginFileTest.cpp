// Quorl EQ as a VST2 host sees it: the built plug-in file (QuorlEQ.so, or QuorlEQ.dll on Windows) loaded into the
// process, driven through its effect record with a scriptable host callback.

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSystem.h"
#include "tests/vst2/VstTestHost.h"
#include "tools/host/DynamicLibrary.h"
#include "vst2/VstAbi.h"

namespace ondrell::test {
namespace {

using namespace vst;

constexpr int32_t kChunkMagic = 0x70666674;
constexpr int32_t kChunkVersion = 0x00010000;

struct Library {
  Library() {
    if (library.Open(QUORL_VST2_PLUGIN_PATH, error)) {
      entry = reinterpret_cast<VstEntryProc>(library.Symbol("VSTPluginMain"));
      legacyEntry = reinterpret_cast<VstEntryProc>(library.Symbol("main"));
    }
  }
  host::DynamicLibrary library;
  std::string error;
  VstEntryProc entry = nullptr;
  VstEntryProc legacyEntry = nullptr;
};

Library& TheLibrary() {
  static Library library;
  return library;
}

class PluginFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Editor preferences go to a scratch folder, never into the user's configuration.
    quorl_test::SetEnvironment("XDG_CONFIG_HOME", ::testing::TempDir().c_str());
    ASSERT_TRUE(TheLibrary().library.IsOpen()) << TheLibrary().error;
    ASSERT_NE(TheLibrary().entry, nullptr);
    effect = TheLibrary().entry(&VstTestHost::Callback);
    ASSERT_NE(effect, nullptr);
  }
  void TearDown() override {
    if (effect != nullptr) Dispatch(effClose);
  }

  VstIntPtr Dispatch(int32_t opcode, int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }
  std::string Text(int32_t opcode, int32_t index = 0) {
    char buffer[256] = {};
    Dispatch(opcode, index, 0, buffer);
    return buffer;
  }
  float Get(int32_t index) { return effect->getParameter(effect, index); }
  void Set(int32_t index, float value) { effect->setParameter(effect, index, value); }
  int32_t InitialDelay() { return std::atomic_ref<int32_t>(effect->initialDelay).load(); }

  std::vector<uint8_t> Chunk(bool program) {
    void* data = nullptr;
    const VstIntPtr size = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
    if (size <= 0 || data == nullptr) return {};
    return {static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size};
  }
  VstIntPtr SetChunk(bool program, std::vector<uint8_t> bytes) {
    return Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
  }

  // Stereo 64-bit processing of one block; returns the two output channels.
  std::array<std::vector<double>, 2> Process64(const std::vector<double>& left, const std::vector<double>& right) {
    std::array<std::vector<double>, 2> out{std::vector<double>(left.size()), std::vector<double>(left.size())};
    std::vector<double> l = left, r = right;
    double* in[2] = {l.data(), r.data()};
    double* o[2] = {out[0].data(), out[1].data()};
    effect->processDoubleReplacing(effect, in, o, static_cast<int32_t>(left.size()));
    return out;
  }

  VstTestHost host;
  VstEffect* effect = nullptr;
};

// ---- The file and the effect record -----------------------------------------------------------------------------

TEST_F(PluginFileTest, EffectRecordDescribesQuorlEq) {
  EXPECT_EQ(effect->magic, 0x56737450);
  EXPECT_EQ(effect->numPrograms, 1);
  EXPECT_EQ(effect->numParams, 10);
  EXPECT_EQ(effect->numInputs, 2);
  EXPECT_EQ(effect->numOutputs, 2);
  EXPECT_EQ(effect->flags, 4121);
  EXPECT_EQ(effect->initialDelay, 0);
  EXPECT_EQ(effect->version, 40100);
  EXPECT_EQ(effect->uniqueID, ('Q' << 24) | ('r' << 16) | ('l' << 8) | 'E');
  EXPECT_EQ(effect->ioRatio, 1.0f);
  EXPECT_NE(effect->object, nullptr);
  EXPECT_NE(effect->process, nullptr);
  EXPECT_NE(effect->processReplacing, nullptr);
  EXPECT_NE(effect->processDoubleReplacing, nullptr);
  EXPECT_NE(effect->setParameter, nullptr);
  EXPECT_NE(effect->getParameter, nullptr);
}

TEST_F(PluginFileTest, MainIsTheSameEntryUnderTheOlderName) {
  ASSERT_NE(TheLibrary().legacyEntry, nullptr);
  VstEffect* second = TheLibrary().legacyEntry(&VstTestHost::Callback);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, effect);
  EXPECT_EQ(second->magic, kEffectMagic);
  EXPECT_EQ(second->numParams, 10);
  second->dispatcher(second, effClose, 0, 0, nullptr, 0.0f);
}

TEST_F(PluginFileTest, InstancesCreatedOnSeveralThreadsAtOnceAreAllWhole) {
  std::vector<VstEffect*> made(6, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < made.size(); ++i)
    threads.emplace_back([&made, i] { made[i] = TheLibrary().entry(&VstTestHost::Callback); });
  for (std::thread& t : threads) t.join();
  for (VstEffect* e : made) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->numParams, 10);
    char name[64] = {};
    e->dispatcher(e, effGetProgramNameIndexed, 0, 0, name, 0.0f);
    EXPECT_STREQ(name, "Empty");
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  }
}

// ---- Dispatcher answers -----------------------------------------------------------------------------------------

TEST_F(PluginFileTest, FixedAnswers) {
  struct Case {
    int32_t opcode;
    VstIntPtr expected;
  };
  const Case cases[] = {{effIdentify, 0x4E764566}, {effGetVstVersion, 2400},    {effGetPlugCategory, 1},
                        {effGetTailSize, 1},       {effSetBypass, 0},           {effGetVendorVersion, 40100},
                        {effGetProgram, 0},        {effStartProcess, 0},        {effStopProcess, 0},
                        {effSetProcessPrecision, 0}, {70, 0},                   {effEditIdle, 0},
                        {effGetMidiKeyName, 0},    {effEditOpen, 0}};
  for (const Case& c : cases) EXPECT_EQ(Dispatch(c.opcode), c.expected) << "opcode " << c.opcode;
  EXPECT_EQ(Text(effGetEffectName), "Quorl EQ");
  EXPECT_EQ(Text(effGetVendorString), "Ondrell Audio");
  EXPECT_EQ(Text(effGetProductString), "Quorl EQ");
  EXPECT_EQ(Dispatch(effGetEffectName), 0);  // no buffer
  MidiKeyName key{};
  key.thisKeyNumber = 60;
  std::strcpy(key.keyName, "junk");
  EXPECT_EQ(Dispatch(effGetMidiKeyName, 0, 0, &key), 0);  // no note names, and the old name is cleared
  EXPECT_STREQ(key.keyName, "");
}

TEST_F(PluginFileTest, CanDoTable) {
  struct Case {
    const char* query;
    VstIntPtr expected;
  };
  const Case cases[] = {{"receiveVstTimeInfo", 1},
                        {"hasCockosExtensions", 0xBEEF0000},
                        {"hasCockosViewAsConfig", 0xBEEF0000},
                        {"wantsChannelCountNotifications", 1},
                        {"receiveVstEvents", 0},
                        {"receiveVstMidiEvent", 0},
                        {"sendVstEvents", 0},
                        {"sendVstMidiEvent", 0},
                        {"MPE", 0},
                        {"bypass", 0},
                        {"", 0}};
  for (const Case& c : cases) {
    std::string query = c.query;
    EXPECT_EQ(Dispatch(effCanDo, 0, 0, query.data()), c.expected) << c.query;
  }
  EXPECT_EQ(Dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST_F(PluginFileTest, HostIsIdentifiedAtTheFirstOpenOnly) {
  host.productString = "REAPER";
  host.vendorVersion = 6041;
  Dispatch(effOpen);
  Dispatch(effOpen);
  EXPECT_EQ(host.Count(audioMasterGetProductString), 1);
  EXPECT_EQ(host.Count(audioMasterGetVendorVersion), 1);
  // In Reaper only the space bar reaches the editor; without an editor nothing handles it.
  EXPECT_EQ(Dispatch(effEditKeyDown, '\r', 4), 0);
  EXPECT_EQ(Dispatch(effEditKeyDown, ' ', 7), 0);
}

TEST_F(PluginFileTest, AHostWithoutANameIsNotAskedForItsVersion) {
  host.productString = "";
  Dispatch(effOpen);
  EXPECT_EQ(host.Count(audioMasterGetProductString), 1);
  EXPECT_EQ(host.Count(audioMasterGetVendorVersion), 0);
}

TEST_F(PluginFileTest, PinProperties) {
  struct Case {
    int32_t opcode;
    int32_t pin;
    VstIntPtr answer;
    const char* label;
    int32_t flags;
  };
  const Case cases[] = {{effGetInputProperties, 0, 1, "Input 1", 3},   {effGetInputProperties, 1, 1, "Input 2", 1},
                        {effGetInputProperties, 2, 0, "", 0},          {effGetInputProperties, -1, 0, "", 0},
                        {effGetOutputProperties, 0, 1, "Output 1", 3}, {effGetOutputProperties, 1, 1, "Output 2", 1},
                        {effGetOutputProperties, 2, 0, "", 0}};
  for (const Case& c : cases) {
    VstPinProperties props{};
    EXPECT_EQ(Dispatch(c.opcode, c.pin, 0, &props), c.answer) << c.opcode << " pin " << c.pin;
    EXPECT_STREQ(props.label, c.label);
    EXPECT_EQ(props.flags, c.flags);
  }
  EXPECT_EQ(Dispatch(effGetInputProperties, 0, 0, nullptr), 0);
}

TEST_F(PluginFileTest, SpeakerArrangements) {
  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 1);
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(in->type, kSpeakerArrStereo);
  EXPECT_EQ(in->numChannels, 2);
  EXPECT_EQ(out->numChannels, 2);

  VstSpeakerArrangement three{};
  three.numChannels = 3;
  EXPECT_EQ(Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&three), &three), 0);
  VstSpeakerArrangement mono{};
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  EXPECT_EQ(Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &mono), 1);
  EXPECT_EQ(in->numChannels, 2);  // the stored arrangements stay as they were

  // Mono from now on: the host hands one buffer per direction, the defaults colour it with the sine share.
  std::vector<float> x(64), y(64, 9.0f);
  for (int i = 0; i < 64; ++i) x[i] = 0.9f * std::sin(0.2f * i);
  float* inPtrs[1] = {x.data()};
  float* outPtrs[1] = {y.data()};
  effect->processReplacing(effect, inPtrs, outPtrs, 64);
  for (int i = 0; i < 64; ++i) {
    const double v = x[i];
    EXPECT_NEAR(y[i], v + 0.01 * std::sin(std::clamp(v, -1.0, 1.0)), 1e-6) << i;
  }
}

TEST_F(PluginFileTest, EditorAnswers) {
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 215);
  EXPECT_EQ(rect->right, 664);
  EXPECT_EQ(Dispatch(effEditGetRect), 0);
  EXPECT_EQ(Dispatch(effEditOpen, 0, 0, nullptr), 0);  // no parent window to open in
  EXPECT_EQ(Dispatch(effEditClose), 1);
  // A parent that is no window (and, on Linux, no X server at all) opens no view. (With a real parent the
  // editor opens: tests/graphics_x11.)
  {
    const quorl_test::ScopedEnvironment noDisplay("DISPLAY", nullptr);
    EXPECT_EQ(Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 0);
    EXPECT_EQ(Dispatch(effEditClose), 1);
  }
}

// ---- Parameters -----------------------------------------------------------------------------------------------

TEST_F(PluginFileTest, ParameterNamesTextsAndAutomation) {
  const char* names[] = {"HPF",        "LoShelf Freq",  "LoShelf Level", "MF 1 Freq", "MF Level 1",
                         "MF 2 Freq",  "MF Level 2",    "HiShelf Level", "Gain",      "Oversampling"};
  const char* displays[] = {"Off", "35 Hz", "0.0", "240 Hz", "0.0", "2500 Hz", "0.0", "0.0", "0.0", "off"};
  const char* labels[] = {"", "", "dB", "", "dB", "", "dB", "dB", "dB", ""};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Text(effGetParamName, i), names[i]);
    EXPECT_EQ(Text(effGetParamDisplay, i), displays[i]);
    EXPECT_EQ(Text(effGetParamLabel, i), labels[i]);
    EXPECT_EQ(Dispatch(effCanBeAutomated, i), i == 9 ? 0 : 1) << i;
  }
  EXPECT_EQ(Dispatch(effCanBeAutomated, 10), 0);
  EXPECT_EQ(Text(effGetParamName, 10), "");
}

TEST_F(PluginFileTest, ParameterProperties) {
  VstParameterProperties hpf{};
  ASSERT_EQ(Dispatch(effGetParameterProperties, 0, 0, &hpf), 1);
  EXPECT_EQ(hpf.flags, 10);
  EXPECT_EQ(hpf.minInteger, 0);
  EXPECT_EQ(hpf.maxInteger, 5);
  EXPECT_EQ(hpf.stepInteger, 1);
  EXPECT_EQ(hpf.largeStepInteger, 1);
  VstParameterProperties gain{};
  ASSERT_EQ(Dispatch(effGetParameterProperties, 8, 0, &gain), 1);
  EXPECT_EQ(gain.flags, 4);
  EXPECT_FLOAT_EQ(gain.stepFloat, 0.1f);
  EXPECT_FLOAT_EQ(gain.largeStepFloat, 0.1f);
  EXPECT_STREQ(gain.label, "dB");
  VstParameterProperties oversampling{};
  ASSERT_EQ(Dispatch(effGetParameterProperties, 9, 0, &oversampling), 1);
  EXPECT_EQ(oversampling.flags, 1);
  EXPECT_EQ(Dispatch(effGetParameterProperties, 10, 0, &oversampling), 0);
  EXPECT_EQ(Dispatch(effGetParameterProperties, 0, 0, nullptr), 0);
}

TEST_F(PluginFileTest, InArdourEveryParameterHasItsNameAndEveryEntryIsReachable) {
  host.productString = "Ardour";
  Dispatch(effOpen);
  const char* names[] = {"HPF",        "LoShelf Freq",  "LoShelf Level", "MF 1 Freq", "MF Level 1",
                         "MF 2 Freq",  "MF Level 2",    "HiShelf Level", "Gain",      "Oversampling"};
  for (int i = 0; i < 10; ++i) {
    VstParameterProperties props{};
    ASSERT_EQ(Dispatch(effGetParameterProperties, i, 0, &props), 1);
    EXPECT_STREQ(props.label, names[i]);
    EXPECT_EQ(Text(effGetParamLabel, i), i == 2 || (i >= 4 && i != 5 && i != 9) ? "dB" : "");
  }
  struct Stepped {
    int index;
    std::vector<const char*> texts;
  };
  const Stepped stepped[] = {
      {0, {"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"}},
      {1, {"35 Hz", "60 Hz", "110 Hz", "220 Hz"}},
      {3, {"150 Hz", "180 Hz", "240 Hz", "400 Hz", "820 Hz", "1200 Hz"}},
      {5, {"220 Hz", "315 Hz", "640 Hz", "2500 Hz", "3150 Hz", "6000 Hz", "8000 Hz"}},
  };
  for (const Stepped& p : stepped) {
    VstParameterProperties props{};
    ASSERT_EQ(Dispatch(effGetParameterProperties, p.index, 0, &props), 1);
    EXPECT_EQ(props.minInteger, 0);
    EXPECT_EQ(props.maxInteger, static_cast<int>(p.texts.size()) - 1);
    for (size_t k = 0; k < p.texts.size(); ++k) {
      Set(p.index, static_cast<float>(k));
      EXPECT_EQ(Text(effGetParamDisplay, p.index), p.texts[k]) << p.index << " entry " << k;
      EXPECT_EQ(Get(p.index), static_cast<float>(k));
    }
  }
  Set(4, 0.75f);  // levels stay normalised
  EXPECT_EQ(Text(effGetParamDisplay, 4), "10.0");
}

TEST_F(PluginFileTest, NormalisedValuesAndTextEntry) {
  EXPECT_FLOAT_EQ(Get(8), 2.0f / 3.0f);  // Gain 0 dB in -20..10
  std::string text = "50 Hz";
  EXPECT_EQ(Dispatch(effString2Parameter, 0, 0, text.data()), 1);
  EXPECT_FLOAT_EQ(Get(0), 0.4f);  // entry 2 of 6
  EXPECT_EQ(Text(effGetParamDisplay, 0), "50 Hz");
  EXPECT_EQ(host.Count(audioMasterAutomate), 0);
  text = "25";
  EXPECT_EQ(Dispatch(effString2Parameter, 4, 0, text.data()), 1);  // a typed 25 dB becomes 20.0
  EXPECT_EQ(Text(effGetParamDisplay, 4), "20.0");
  EXPECT_EQ(Dispatch(effString2Parameter, 4, 0, nullptr), 1);
  EXPECT_EQ(Dispatch(effString2Parameter, 10, 0, text.data()), 0);
  // Text that is no value of the parameter changes nothing: the typo does not reset the gain to 0 dB.
  for (const char* typo : {"", "abc", "nan", "1.5junk", "6 Hz"}) {
    text = typo;
    EXPECT_EQ(Dispatch(effString2Parameter, 4, 0, text.data()), 0) << typo;
    EXPECT_EQ(Text(effGetParamDisplay, 4), "20.0") << typo;
  }
  text = "On";  // display texts are matched ignoring case
  EXPECT_EQ(Dispatch(effString2Parameter, 9, 0, text.data()), 1);
  EXPECT_EQ(Text(effGetParamDisplay, 9), "on");
  text = "bogus";
  EXPECT_EQ(Dispatch(effString2Parameter, 9, 0, text.data()), 0);
  EXPECT_EQ(Text(effGetParamDisplay, 9), "on");

  Set(2, 0.75f);
  EXPECT_EQ(Text(effGetParamDisplay, 2), "10.0");
  Set(10, 0.5f);
  EXPECT_EQ(Get(10), 0.0f);
  Set(2, std::nanf(""));
  EXPECT_EQ(Text(effGetParamDisplay, 2), "10.0");
}

TEST_F(PluginFileTest, CockosExtensionRequests) {
  char buffer[64] = {};
  EXPECT_EQ(Dispatch(effVendorSpecific, 7, 0, buffer, 0.4f), 0xBEEF);
  EXPECT_STREQ(buffer, "50 Hz");
  std::strcpy(buffer, "untouched");
  EXPECT_EQ(Dispatch(effVendorSpecific, 7, 12, buffer, 0.4f), 0xBEEF);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(Dispatch(effVendorSpecific, 7, 0, nullptr, 0.4f), 0);

  EXPECT_NE(Dispatch(effVendorSpecific, 8, 0), 0xBEEF);  // the high-pass enumeration has six entries
  EXPECT_EQ(Dispatch(effVendorSpecific, 8, 9), 0xBEEF);  // the oversampling switch
  EXPECT_NE(Dispatch(effVendorSpecific, 8, 2), 0xBEEF);

  buffer[0] = '\0';
  EXPECT_EQ(Dispatch(effVendorSpecific, 27, 0, buffer), 0xBEEF);
  EXPECT_STREQ(buffer, "");
  std::strcpy(buffer, "160 Hz");
  EXPECT_EQ(Dispatch(effVendorSpecific, 27, 0, buffer), 0xBEEF);
  EXPECT_EQ(std::strtod(buffer, nullptr), 0.8);
  EXPECT_EQ(std::strlen(buffer), 19u);  // printed with 17 decimals
  std::strcpy(buffer, "-10 dB");
  EXPECT_EQ(Dispatch(effVendorSpecific, 27, 8, buffer), 0xBEEF);
  EXPECT_NEAR(std::strtod(buffer, nullptr), 10.0 / 30.0, 1e-15);
  EXPECT_EQ(Dispatch(effVendorSpecific, 27, 10, buffer), 0);
  EXPECT_EQ(Dispatch(effVendorSpecific, 99, 0, buffer), 0);
  // A text that is no value is not converted: the request is declined and the text stays.
  std::strcpy(buffer, "abc");
  EXPECT_EQ(Dispatch(effVendorSpecific, 27, 8, buffer), 0);
  EXPECT_STREQ(buffer, "abc");
  std::strcpy(buffer, "ON");
  EXPECT_EQ(Dispatch(effVendorSpecific, 27, 9, buffer), 0xBEEF);
  EXPECT_EQ(std::strtod(buffer, nullptr), 1.0);
}

// ---- Programs and chunks --------------------------------------------------------------------------------------

std::vector<uint8_t> Header(int32_t version) {
  std::vector<uint8_t> bytes(8);
  std::memcpy(bytes.data(), &kChunkMagic, 4);
  std::memcpy(bytes.data() + 4, &version, 4);
  return bytes;
}

std::vector<uint8_t> StateBytes(const std::array<double, 10>& values) {
  std::vector<uint8_t> bytes(80);
  std::memcpy(bytes.data(), values.data(), 80);
  return bytes;
}

TEST_F(PluginFileTest, ProgramChunkIs88BytesWithHeaderAndLoadsBack) {
  Set(0, 0.6f);   // HPF 80 Hz
  Set(2, 0.65f);  // LoShelf +6 dB
  Set(8, 0.5f);   // Gain -5 dB
  const std::vector<uint8_t> chunk = Chunk(true);
  ASSERT_EQ(chunk.size(), 88u);
  const uint8_t header[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  EXPECT_TRUE(std::equal(header, header + 8, chunk.begin()));
  double values[10];
  std::memcpy(values, chunk.data() + 8, 80);
  // Real values from the normalised floats: minimum + n * (maximum - minimum), steps only for enumerations.
  EXPECT_EQ(values[0], 3.0);
  EXPECT_EQ(values[2], -20.0 + static_cast<double>(0.65f) * 40.0);
  EXPECT_EQ(values[8], -20.0 + static_cast<double>(0.5f) * 30.0);
  EXPECT_EQ(values[9], 0.0);

  Set(0, 0.0f);
  Set(2, 0.5f);
  Set(8, 1.0f);
  EXPECT_EQ(SetChunk(true, chunk), 1);
  EXPECT_EQ(Chunk(true), chunk);
  EXPECT_FLOAT_EQ(Get(0), 0.6f);
}

TEST_F(PluginFileTest, HeaderlessStateChunkLoadsAndShortHeaderFails) {
  std::array<double, 10> state{4, 2, -3.5, 1, 2, 3, 4, 5, 6, 1};
  EXPECT_EQ(SetChunk(true, StateBytes(state)), 1);
  EXPECT_EQ(Text(effGetParamDisplay, 0), "160 Hz");
  EXPECT_EQ(Text(effGetParamDisplay, 2), "-3.5");
  EXPECT_EQ(Text(effGetParamDisplay, 9), "on");
  const std::vector<uint8_t> saved = Chunk(true);

  std::vector<uint8_t> six = Header(kChunkVersion);
  six.resize(6);
  EXPECT_EQ(SetChunk(true, six), 0);
  std::vector<uint8_t> cut = saved;
  cut.resize(87);
  EXPECT_EQ(SetChunk(true, cut), 0);
  EXPECT_EQ(Chunk(true), saved);  // nothing changed by the failures
  EXPECT_EQ(Dispatch(effSetChunk, 1, 80, nullptr), 0);
}

TEST_F(PluginFileTest, BankChunkRoundTripAndVersionRules) {
  std::string name = "Warm Vocal";
  Dispatch(effSetProgramName, 0, 0, name.data());
  Set(4, 0.6f);  // MF Level 1 +4 dB
  const std::vector<uint8_t> bank = Chunk(false);
  ASSERT_EQ(bank.size(), 8u + 4 + name.size() + 1 + 80);
  EXPECT_TRUE(std::equal(bank.begin(), bank.begin() + 8, Header(kChunkVersion).begin()));

  Set(4, 0.5f);
  std::string other = "Other";
  Dispatch(effSetProgramName, 0, 0, other.data());
  EXPECT_EQ(SetChunk(false, bank), 1);
  EXPECT_EQ(Text(effGetProgramName), "Warm Vocal");
  EXPECT_EQ(Text(effGetParamDisplay, 4), "4.0");

  // A program state behind a version-1 header in a bank call loads as a program.
  std::vector<uint8_t> program = Header(1);
  const std::vector<uint8_t> state = StateBytes({1, 0, 0, 0, -2, 0, 0, 0, 0, 0});
  program.insert(program.end(), state.begin(), state.end());
  EXPECT_EQ(SetChunk(false, program), 1);
  EXPECT_EQ(Text(effGetParamDisplay, 4), "-2.0");
  EXPECT_EQ(Text(effGetParamDisplay, 0), "30 Hz");
}

TEST_F(PluginFileTest, ProgramsKeepTheSound) {
  EXPECT_EQ(Text(effGetProgramNameIndexed, 0), "Empty");
  EXPECT_EQ(Dispatch(effGetProgramNameIndexed, 0, 0, nullptr), 0);
  char buffer[64] = {};
  EXPECT_EQ(Dispatch(effGetProgramNameIndexed, 1, 0, buffer), 0);
  Set(6, 0.25f);
  Dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(Text(effGetParamDisplay, 6), "-10.0");
  Dispatch(effSetProgram, 0, 5);  // no such program: nothing happens
  EXPECT_EQ(Dispatch(effGetProgram), 0);
  EXPECT_EQ(Text(effGetParamDisplay, 6), "-10.0");
}

// ---- Processing ------------------------------------------------------------------------------------------------

TEST_F(PluginFileTest, DefaultsColourTheSignalWithTheSineShare) {
  std::vector<double> l(256), r(256);
  for (int i = 0; i < 256; ++i) {
    l[i] = 1.4 * std::sin(0.05 * i);
    r[i] = 0.3 * std::cos(0.11 * i);
  }
  const auto out = Process64(l, r);
  for (int i = 0; i < 256; ++i) {
    EXPECT_NEAR(out[0][i], l[i] + 0.01 * std::sin(std::clamp(l[i], -1.0, 1.0)), 1e-12) << i;
    EXPECT_NEAR(out[1][i], r[i] + 0.01 * std::sin(std::clamp(r[i], -1.0, 1.0)), 1e-12) << i;
  }
  // Every block asks for the time with the request flags and for the process level.
  const int blocks = 3;
  host.ClearCalls();
  for (int b = 0; b < blocks; ++b) Process64(l, r);
  EXPECT_EQ(host.Count(audioMasterGetTime), blocks);
  EXPECT_EQ(host.Count(audioMasterGetCurrentProcessLevel), blocks);
  for (const HostCallRecord& call : host.Calls()) {
    if (call.opcode == audioMasterGetTime) {
      EXPECT_EQ(call.value, 0x3E00);
    }
  }
  EXPECT_EQ(host.Count(audioMasterWantMidi), 0);  // no MIDI input
}

TEST_F(PluginFileTest, AccumulatingProcessAddsToTheHostBuffers) {
  std::vector<float> x(100), y(100, 0.5f);
  for (int i = 0; i < 100; ++i) x[i] = 0.5f * std::sin(0.3f * i);
  float* in[2] = {x.data(), x.data()};
  std::vector<float> y2 = y;
  float* out[2] = {y.data(), y2.data()};
  effect->process(effect, in, out, 100);
  for (int i = 0; i < 100; ++i) {
    const double v = x[i];
    EXPECT_NEAR(y[i], 0.5 + v + 0.01 * std::sin(v), 1e-6) << i;
  }
}

// Oversampling is switched on while the host plays: the idle tick that follows tells the host the new latency at
// once (initialDelay and one audioMasterIOChanged), and an impulse comes out that many samples late.
TEST_F(PluginFileTest, LatencyIsReportedWhenOversamplingSwitchesWhilePlaying) {
  Dispatch(effOpen);
  Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  Dispatch(effSetBlockSize, 0, 256);
  Dispatch(effMainsChanged, 0, 1);
  std::vector<double> silence(256, 0.0);
  Process64(silence, silence);
  host.ClearCalls();

  Set(9, 1.0f);
  for (int b = 0; b < 8; ++b) Process64(silence, silence);  // the switch and its crossfade run in processing
  ASSERT_TRUE(host.WaitFor(audioMasterIOChanged, 1, 3000));
  const int32_t latency = InitialDelay();
  EXPECT_GT(latency, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(host.Count(audioMasterIOChanged), 1);

  // An impulse through the oversampled path (bands at 0 dB) peaks latency samples later. The sine share makes
  // the path slightly non-linear; at 0.1 it is tiny.
  const int n = 4096;
  std::vector<double> impulse(n, 0.0), zeros(n, 0.0);
  impulse[0] = 0.1;
  std::vector<double> response;
  for (int b = 0; b < n / 256; ++b) {
    std::vector<double> l(impulse.begin() + b * 256, impulse.begin() + (b + 1) * 256);
    const auto out = Process64(l, std::vector<double>(256, 0.0));
    response.insert(response.end(), out[0].begin(), out[0].end());
  }
  const auto peak = std::max_element(response.begin(), response.end(),
                                     [](double a, double b) { return std::fabs(a) < std::fabs(b); });
  EXPECT_NEAR(static_cast<int>(peak - response.begin()), latency, 1);

  // And back off: the latency returns to 0, told once more.
  Set(9, 0.0f);
  for (int b = 0; b < 8; ++b) Process64(silence, silence);
  ASSERT_TRUE(host.WaitFor(audioMasterIOChanged, 2, 3000));
  EXPECT_EQ(InitialDelay(), 0);
}

TEST_F(PluginFileTest, OfflineProcessLevelForcesOversamplingAtTheNextReset) {
  host.processLevel = kVstProcessLevelOffline;
  std::vector<double> silence(64, 0.0);
  Process64(silence, silence);
  EXPECT_EQ(InitialDelay(), 0);  // nothing changes until the next reset
  host.ClearCalls();
  Dispatch(effMainsChanged, 0, 0);
  EXPECT_GT(InitialDelay(), 0);
  EXPECT_EQ(host.Count(audioMasterIOChanged), 1);

  host.processLevel = kVstProcessLevelRealtime;
  Process64(silence, silence);
  Dispatch(effMainsChanged, 0, 0);
  EXPECT_EQ(InitialDelay(), 0);
  EXPECT_EQ(host.Count(audioMasterIOChanged), 2);
}

// ---- Outside check -----------------------------------------------------------------------------------------------

#if !defined(_WIN32)
TEST(QtractorScan, ListsThePlugin) {
#if defined(QUORL_SANITIZED_BUILD)
  GTEST_SKIP() << "the scanner cannot load a plug-in built with sanitizers";
#endif
  const char* scanner = "/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan";
  if (access(scanner, X_OK) != 0) GTEST_SKIP() << "qtractor is not installed";
  const std::string command = std::string("echo 'VST:") + QUORL_VST2_PLUGIN_PATH + "' | " + scanner;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) output += line;
  // TYPE|name|audio ins:outs|midi ins:outs|params in:out|flags|path|index|unique id
  EXPECT_NE(output.find("VST|Quorl EQ|2:2|0:0|10:0|"), std::string::npos) << output;
}
#endif

}  // namespace
}  // namespace ondrell::test
