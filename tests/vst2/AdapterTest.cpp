// The VST2 adapter driven through its effect record with a probe plug-in: processing in slices, block preparation,
// parameters, chunks that fail, bounded texts, key events, the idle thread and latency reporting.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/ByteChunk.h"
#include "tests/vst2/ProbePlugin.h"
#include "tests/vst2/VstTestHost.h"
#include "vst2/VstEntry.h"

namespace ondrell::test {
namespace {

using namespace vst;

class AdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    effect = CreateVstPlugin<ProbePlugin>(&VstTestHost::Callback);
    ASSERT_NE(effect, nullptr);
    probe = static_cast<ProbePlugin*>(static_cast<IPluginVST2*>(effect->object));
  }
  void TearDown() override {
    if (effect != nullptr) Dispatch(effClose);
  }

  VstIntPtr Dispatch(int32_t opcode, int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }

  VstTestHost host;
  VstEffect* effect = nullptr;
  ProbePlugin* probe = nullptr;
};

// ---- Processing ---------------------------------------------------------------------------------------------

enum class Kind { Replacing32, Accumulating32, Replacing64 };

struct SliceCase {
  Kind kind;
  int blockSize;
  int frames;
};

class SliceTest : public AdapterTest, public ::testing::WithParamInterface<SliceCase> {};

TEST_P(SliceTest, LongHostBlocksAreProcessedInSlicesOfTheBlockSize) {
  const SliceCase c = GetParam();
  Dispatch(effSetBlockSize, 0, c.blockSize);
  std::vector<std::vector<double>> in(2, std::vector<double>(static_cast<size_t>(c.frames)));
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < c.frames; ++i) in[ch][i] = std::sin(0.01 * i + ch) * 0.5;
  const double prior = 0.25;  // what the accumulating call adds to
  std::vector<double> expected[2];
  for (int ch = 0; ch < 2; ++ch) {
    expected[ch].resize(static_cast<size_t>(c.frames));
    for (int i = 0; i < c.frames; ++i) {
      const double processed =
          c.kind == Kind::Replacing64 ? 2.0 * in[ch][i] : 2.0 * static_cast<double>(static_cast<float>(in[ch][i]));
      expected[ch][i] = c.kind == Kind::Accumulating32
                            ? static_cast<double>(static_cast<float>(prior) + static_cast<float>(processed))
                            : c.kind == Kind::Replacing32 ? static_cast<double>(static_cast<float>(processed))
                                                          : processed;
    }
  }

  std::vector<std::vector<double>> out(2);
  if (c.kind == Kind::Replacing64) {
    std::vector<std::vector<double>> out64(2, std::vector<double>(static_cast<size_t>(c.frames), -9.0));
    double* inPtrs[2] = {in[0].data(), in[1].data()};
    double* outPtrs[2] = {out64[0].data(), out64[1].data()};
    effect->processDoubleReplacing(effect, inPtrs, outPtrs, c.frames);
    out = out64;
  } else {
    std::vector<std::vector<float>> in32(2), out32(2);
    for (int ch = 0; ch < 2; ++ch) {
      in32[ch].assign(in[ch].begin(), in[ch].end());
      out32[ch].assign(static_cast<size_t>(c.frames), c.kind == Kind::Accumulating32 ? static_cast<float>(prior)
                                                                                       : -9.0f);
    }
    float* inPtrs[2] = {in32[0].data(), in32[1].data()};
    float* outPtrs[2] = {out32[0].data(), out32[1].data()};
    if (c.kind == Kind::Accumulating32)
      effect->process(effect, inPtrs, outPtrs, c.frames);
    else
      effect->processReplacing(effect, inPtrs, outPtrs, c.frames);
    for (int ch = 0; ch < 2; ++ch) out[ch].assign(out32[ch].begin(), out32[ch].end());
  }

  EXPECT_LE(probe->maxFrames, c.blockSize);
  EXPECT_EQ(probe->blocks, (c.frames + c.blockSize - 1) / c.blockSize);
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < c.frames; ++i) ASSERT_EQ(out[ch][i], expected[ch][i]) << "channel " << ch << " frame " << i;
  // One block preparation per host call, however many slices it took.
  EXPECT_EQ(host.Count(audioMasterGetTime), 1);
  EXPECT_EQ(host.Count(audioMasterGetCurrentProcessLevel), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SliceTest,
                         ::testing::Values(SliceCase{Kind::Replacing32, 64, 1000}, SliceCase{Kind::Replacing32, 512, 512},
                                           SliceCase{Kind::Accumulating32, 100, 1000},
                                           SliceCase{Kind::Replacing64, 32, 777}, SliceCase{Kind::Replacing64, 512, 100}),
                         [](const ::testing::TestParamInfo<SliceCase>& info) {
                           const char* kind = info.param.kind == Kind::Replacing32     ? "Replacing32"
                                              : info.param.kind == Kind::Accumulating32 ? "Accumulating32"
                                                                                        : "Replacing64";
                           return std::string(kind) + "_block" + std::to_string(info.param.blockSize) + "_frames" +
                                  std::to_string(info.param.frames);
                         });

// A huge announced block size (2^20 frames would size every buffer for it) is capped to the bounded slice, and a
// host block of that length is processed in slices of it, every frame arriving.
TEST_F(AdapterTest, HugeBlockSizesAreCappedAndProcessedInBoundedSlices) {
  for (VstIntPtr announced : {VstIntPtr{1} << 20, VstIntPtr{1} << 40, VstIntPtr{IPluginVST2::kMaxBlockSize + 1}}) {
    Dispatch(effSetBlockSize, 0, announced);
    EXPECT_EQ(probe->GetBlockSize(), IPluginVST2::kMaxBlockSize);
  }
  const int frames = 1 << 20;
  std::vector<double> in(frames), out(frames, -9.0);
  for (int i = 0; i < frames; ++i) in[i] = std::sin(0.001 * i);
  double* inPtrs[2] = {in.data(), in.data()};
  std::vector<double> out2(frames, -9.0);
  double* outPtrs[2] = {out.data(), out2.data()};
  const int blocksBefore = probe->blocks;
  effect->processDoubleReplacing(effect, inPtrs, outPtrs, frames);
  EXPECT_EQ(probe->blocks - blocksBefore, frames / IPluginVST2::kMaxBlockSize);
  EXPECT_EQ(probe->maxFrames, IPluginVST2::kMaxBlockSize);
  for (int i = 0; i < frames; ++i) ASSERT_EQ(out[i], 2.0 * in[i]) << i;
}

TEST_F(AdapterTest, BlockSizeAndSampleRateThatCannotWorkAreRefused) {
  const int resets = probe->resets.load();
  Dispatch(effSetBlockSize, 0, 0);
  Dispatch(effSetBlockSize, 0, -5);
  Dispatch(effSetSampleRate, 0, 0, nullptr, 0.0f);
  Dispatch(effSetSampleRate, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN());
  Dispatch(effSetSampleRate, 0, 0, nullptr, -44100.0f);
  EXPECT_EQ(probe->GetBlockSize(), 512);
  EXPECT_EQ(probe->GetSampleRate(), 48000.0);
  EXPECT_EQ(probe->resets.load(), resets);
  Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  Dispatch(effSetBlockSize, 0, 256);
  EXPECT_EQ(probe->GetSampleRate(), 44100.0);
  EXPECT_EQ(probe->GetBlockSize(), 256);
  EXPECT_EQ(probe->resets.load(), resets + 2);
}

TEST_F(AdapterTest, MainsOffActivatesAndResets) {
  const int resets = probe->resets.load();
  Dispatch(effMainsChanged, 0, 1);
  EXPECT_EQ(probe->resets.load(), resets);
  Dispatch(effMainsChanged, 0, 0);
  EXPECT_EQ(probe->resets.load(), resets + 1);
  EXPECT_EQ(probe->activations, (std::vector<bool>{true, false}));
}

struct TimeCase {
  const char* name;
  bool answered;
  VstTimeInfo info;
  TransportInfo expected;
};

TransportInfo Transport(double tempo, double samplePos, double ppq, double bar, double loopStart, double loopEnd,
                        int num, int den, bool running, bool loop) {
  TransportInfo t;
  t.tempo = tempo;
  t.samplePos = samplePos;
  t.ppqPos = ppq;
  t.lastBarPos = bar;
  t.loopStart = loopStart;
  t.loopEnd = loopEnd;
  t.numerator = num;
  t.denominator = den;
  t.running = running;
  t.loopEnabled = loop;
  return t;
}

VstTimeInfo TimeInfo(int flags, double tempo, double ppq, double bar, double cs, double ce, int num, int den) {
  VstTimeInfo ti{};
  ti.samplePos = 4800.0;
  ti.sampleRate = 48000.0;
  ti.ppqPos = ppq;
  ti.tempo = tempo;
  ti.barStartPos = bar;
  ti.cycleStartPos = cs;
  ti.cycleEndPos = ce;
  ti.timeSigNumerator = num;
  ti.timeSigDenominator = den;
  ti.flags = flags;
  return ti;
}

TEST_F(AdapterTest, TimeInformationFollowsItsFlags) {
  const int all = kVstTransportPlaying | kVstTransportCycleActive | kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
                  kVstCyclePosValid | kVstTimeSigValid;
  const TimeCase cases[] = {
      {"no answer", false, {}, Transport(120, -1, -1, -1, -1, -1, 4, 4, false, false)},
      {"everything valid", true, TimeInfo(all, 98.5, 10.25, 8.0, 4.0, 12.0, 7, 8),
       Transport(98.5, 4800, 10.25, 8.0, 4.0, 12.0, 7, 8, true, true)},
      {"no flags", true, TimeInfo(0, 98.5, 10.25, 8.0, 4.0, 12.0, 7, 8),
       Transport(120, 4800, -1, -1, -1, -1, 4, 4, false, false)},
      {"tempo 0 and ppq -2", true, TimeInfo(all, 0.0, -2.0, 8.0, 4.0, 12.0, 3, 4),
       Transport(120, 4800, -1, 8.0, 4.0, 12.0, 3, 4, true, true)},
      {"negative bar, cycle end and denominator", true, TimeInfo(all, 140.0, 1.0, -1.0, 4.0, -3.0, 5, 0),
       Transport(140, 4800, 1.0, -1, -1, -1, 4, 4, true, true)},
  };
  for (const TimeCase& c : cases) {
    SCOPED_TRACE(c.name);
    host.timeInfo.reset();
    if (c.answered) host.timeInfo = c.info;
    float in[8] = {}, out[8] = {};
    float* inPtrs[2] = {in, in};
    float* outPtrs[2] = {out, out};
    effect->processReplacing(effect, inPtrs, outPtrs, 8);
    const TransportInfo& t = probe->transport;
    EXPECT_EQ(t.tempo, c.expected.tempo);
    EXPECT_EQ(t.samplePos, c.expected.samplePos);
    EXPECT_EQ(t.ppqPos, c.expected.ppqPos);
    EXPECT_EQ(t.lastBarPos, c.expected.lastBarPos);
    EXPECT_EQ(t.loopStart, c.expected.loopStart);
    EXPECT_EQ(t.loopEnd, c.expected.loopEnd);
    EXPECT_EQ(t.numerator, c.expected.numerator);
    EXPECT_EQ(t.denominator, c.expected.denominator);
    EXPECT_EQ(t.running, c.expected.running);
    EXPECT_EQ(t.loopEnabled, c.expected.loopEnabled);
  }
  for (const HostCallRecord& call : host.Calls())
    if (call.opcode == audioMasterGetTime) {
      EXPECT_EQ(call.value, 0x3E00);
    }
}

TEST_F(AdapterTest, ProcessLevelFourMeansOfflineForThatBlock) {
  double in[4] = {}, out[4] = {};
  double* inPtrs[2] = {in, in};
  double* outPtrs[2] = {out, out};
  for (VstIntPtr level : {4, 2, 0, 4, 3}) {
    host.processLevel = level;
    effect->processDoubleReplacing(effect, inPtrs, outPtrs, 4);
    EXPECT_EQ(probe->offline, level == 4) << "level " << level;
  }
}

TEST_F(AdapterTest, AnOfflineProcessLevelAtResumeSetsUpTheOfflineRenderBeforeTheFirstBlock) {
  // A host that answers its main thread's level at resume leaves the flag to the blocks.
  host.processLevel = kVstProcessLevelRealtime;
  int resets = probe->resets.load();
  Dispatch(effMainsChanged, 0, 1);
  EXPECT_FALSE(probe->GetRenderingOffline());
  EXPECT_EQ(probe->resets.load(), resets);
  Dispatch(effMainsChanged, 0, 0);

  host.processLevel = kVstProcessLevelOffline;
  resets = probe->resets.load();
  Dispatch(effMainsChanged, 0, 1);
  EXPECT_TRUE(probe->GetRenderingOffline());
  EXPECT_EQ(probe->resets.load(), resets + 1);  // the reset sees the offline flag
  Dispatch(effMainsChanged, 0, 0);
  resets = probe->resets.load();
  Dispatch(effMainsChanged, 0, 1);
  EXPECT_EQ(probe->resets.load(), resets);  // nothing changed: no second reset

  // The blocks still decide: a real-time block clears the flag.
  host.processLevel = kVstProcessLevelRealtime;
  double in[4] = {}, out[4] = {};
  double* inPtrs[2] = {in, in};
  double* outPtrs[2] = {out, out};
  effect->processDoubleReplacing(effect, inPtrs, outPtrs, 4);
  EXPECT_FALSE(probe->offline);
}

TEST_F(AdapterTest, NullChannelBuffersAreNotTouched) {
  float out[16];
  std::fill(std::begin(out), std::end(out), 3.0f);
  float* inPtrs[2] = {nullptr, nullptr};
  float* outPtrs[2] = {out, out};
  effect->processReplacing(effect, inPtrs, outPtrs, 16);
  effect->processReplacing(effect, nullptr, outPtrs, 16);
  EXPECT_EQ(probe->blocks, 0);
  EXPECT_EQ(out[0], 3.0f);
}

TEST_F(AdapterTest, MidiFromTheHostGoesBackOutAndSysExFromTheEditorFollowsTheBlock) {
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = sizeof(VstMidiEvent);
  note.deltaFrames = 17;
  note.midiData[0] = static_cast<char>(0x90);
  note.midiData[1] = 60;
  note.midiData[2] = 100;
  VstEvents list{};
  list.numEvents = 2;
  list.events[0] = nullptr;  // null events are skipped
  list.events[1] = reinterpret_cast<VstEvent*>(&note);
  EXPECT_EQ(Dispatch(effProcessEvents, 0, 0, &list), 1);
  EXPECT_EQ(Dispatch(effProcessEvents, 0, 0, nullptr), 0);
  VstEvents empty{};
  EXPECT_EQ(Dispatch(effProcessEvents, 0, 0, &empty), 1);

  const std::vector<HostCallRecord> calls = host.Calls();
  ASSERT_EQ(host.Count(audioMasterProcessEvents), 1);
  const HostCallRecord& back = calls.back();
  ASSERT_EQ(back.eventBytes.size(), 32u);
  VstMidiEvent sent;
  std::memcpy(&sent, back.eventBytes.data(), sizeof sent);
  EXPECT_EQ(sent.type, kVstMidiType);
  EXPECT_EQ(sent.byteSize, 32);
  EXPECT_EQ(sent.deltaFrames, 17);
  EXPECT_EQ(static_cast<uint8_t>(sent.midiData[0]), 0x90);
  EXPECT_EQ(sent.midiData[1], 60);
  EXPECT_EQ(sent.midiData[2], 100);

  const uint8_t dump[5] = {0xF0, 0x7D, 0x01, 0x02, 0xF7};
  probe->SendSysExFromEditorForTest(SysExMsg{3, 5, dump});
  int hostCallsDuringBlock = -1;
  probe->onBlock = [&] { hostCallsDuringBlock = host.Count(audioMasterProcessEvents); };
  float in[8] = {}, out[8] = {};
  float* inPtrs[2] = {in, in};
  float* outPtrs[2] = {out, out};
  effect->processReplacing(effect, inPtrs, outPtrs, 8);
  EXPECT_EQ(hostCallsDuringBlock, 1);  // not yet sent while the block ran
  ASSERT_EQ(host.Count(audioMasterProcessEvents), 2);
  const HostCallRecord sysex = host.Calls().back();
  ASSERT_EQ(sysex.eventBytes.size(), 48u);
  VstMidiSysexEvent event;
  std::memcpy(&event, sysex.eventBytes.data(), sizeof event);
  EXPECT_EQ(event.type, kVstSysExType);
  EXPECT_EQ(event.deltaFrames, 3);
  EXPECT_EQ(event.dumpBytes, 5);
  EXPECT_EQ(sysex.sysexDump, std::vector<uint8_t>(dump, dump + 5));
}

// ---- Parameters ---------------------------------------------------------------------------------------------

TEST_F(AdapterTest, NonFiniteValuesFromTheHostAreIgnored) {
  effect->setParameter(effect, 0, 0.75f);
  ASSERT_DOUBLE_EQ(probe->GetParam(0)->Value(), 10.0);
  const int changes = probe->paramChanges.load();
  for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity()}) {
    effect->setParameter(effect, 0, bad);
    EXPECT_DOUBLE_EQ(probe->GetParam(0)->Value(), 10.0);
  }
  for (const char* text : {"inf", "-inf", "nan", "1e999", "Infinity"}) {
    std::string typed = text;
    EXPECT_EQ(Dispatch(effString2Parameter, 0, 0, typed.data()), 0) << text;
    EXPECT_DOUBLE_EQ(probe->GetParam(0)->Value(), 10.0) << text;
  }
  EXPECT_EQ(probe->paramChanges.load(), changes);

  std::string typed = "-7.25 dB";
  EXPECT_EQ(Dispatch(effString2Parameter, 0, 0, typed.data()), 1);
  EXPECT_DOUBLE_EQ(probe->GetParam(0)->Value(), -7.25);
  EXPECT_EQ(Dispatch(effString2Parameter, 0, 0, nullptr), 1);
  EXPECT_EQ(Dispatch(effString2Parameter, 3, 0, typed.data()), 0);
  effect->setParameter(effect, 3, 0.5f);
  effect->setParameter(effect, -1, 0.5f);
  EXPECT_EQ(effect->getParameter(effect, 3), 0.0f);
  EXPECT_EQ(host.Count(audioMasterAutomate), 0);  // host-side changes are not echoed back
}

TEST_F(AdapterTest, AChunkThatFailsToLoadChangesNothing) {
  effect->setParameter(effect, 0, 0.25f);
  effect->setParameter(effect, 1, 0.8f);
  effect->setParameter(effect, 2, 1.0f);
  const double before[3] = {probe->GetParam(0)->Value(), probe->GetParam(1)->Value(), probe->GetParam(2)->Value()};
  void* data = nullptr;
  const VstIntPtr bankSize = Dispatch(effGetChunk, 0, 0, &data);
  ASSERT_GT(bankSize, 8);
  const std::vector<uint8_t> bank(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + bankSize);

  // A program of other values, then cut short at every length that cannot hold all three values.
  ByteChunk program;
  program.Append(IPluginVST2::kChunkMagic);
  program.Append(IPluginVST2::kChunkVersion);
  for (double v : {-15.0, 1.0, 0.0}) program.Append(v);
  for (int cut = 9; cut < program.Size(); ++cut) {
    EXPECT_EQ(Dispatch(effSetChunk, 1, cut, program.Data()), 0) << cut;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(probe->GetParam(i)->Value(), before[i]) << "cut " << cut << " param " << i;
  }
  // A bank cut short anywhere, and a negative byte count.
  for (size_t cut = 8; cut < bank.size(); ++cut) {
    EXPECT_EQ(Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(cut), const_cast<uint8_t*>(bank.data())), 0) << cut;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(probe->GetParam(i)->Value(), before[i]) << "bank cut " << cut;
    ASSERT_STREQ(probe->GetPresetName(0), "Empty");
  }
  EXPECT_EQ(Dispatch(effSetChunk, 1, -1, program.Data()), 0);
  EXPECT_EQ(Dispatch(effSetChunk, 1, 0, nullptr), 0);

  // The whole program loads.
  EXPECT_EQ(Dispatch(effSetChunk, 1, program.Size(), program.Data()), 1);
  EXPECT_EQ(probe->GetParam(0)->Value(), -15.0);
  EXPECT_EQ(probe->GetParam(1)->Value(), 1.0);
}

// ---- Texts into host buffers ----------------------------------------------------------------------------------

TEST_F(AdapterTest, TextCopiesStayWithinTheirLimits) {
  // A bank whose program name is 255 characters long.
  const std::string longName(255, 'n');
  ByteChunk bank;
  bank.Append(IPluginVST2::kChunkMagic);
  bank.Append(IPluginVST2::kChunkVersion);
  bank.AppendString(longName);
  bank.Append(uint8_t{1});
  for (double v : {1.0, 2.0, 1.0}) bank.Append(v);
  ASSERT_EQ(Dispatch(effSetChunk, 0, bank.Size(), bank.Data()), 1);
  ASSERT_EQ(std::string(probe->GetPresetName(0)), longName);

  struct Case {
    int32_t opcode;
    int32_t index;
    size_t limit;  // bytes written at most, terminator included
  };
  const Case cases[] = {{effGetProgramName, 0, 25}, {effGetProgramNameIndexed, 0, 25}, {effGetParamName, 0, 32},
                        {effGetParamLabel, 0, 32},  {effGetParamDisplay, 0, 32},      {effGetEffectName, 0, 32},
                        {effGetVendorString, 0, 64}, {effGetProductString, 0, 64}};
  for (const Case& c : cases) {
    std::vector<char> buffer(512, '#');
    Dispatch(c.opcode, c.index, 0, buffer.data());
    const size_t length = std::strlen(buffer.data());
    EXPECT_LT(length, c.limit) << c.opcode;
    EXPECT_EQ(buffer[c.limit], '#') << c.opcode;
  }
  std::vector<char> name(64, '#');
  Dispatch(effGetProgramName, 0, 0, name.data());
  EXPECT_EQ(std::string(name.data()), std::string(24, 'n'));
}

// ---- Key events ---------------------------------------------------------------------------------------------

TEST_F(AdapterTest, KeysReachTheEditorWithWindowsCodesAndModifiers) {
  EXPECT_EQ(Dispatch(effEditKeyDown, 'a', 0, nullptr, 1.0f + 8.0f), 1);
  EXPECT_STREQ(probe->lastKey.utf8, "a");
  EXPECT_EQ(probe->lastKey.VK, 'A');
  EXPECT_TRUE(probe->lastKey.S);
  EXPECT_TRUE(probe->lastKey.C);
  EXPECT_FALSE(probe->lastKey.A);
  EXPECT_EQ(Dispatch(effEditKeyDown, 0, 40, nullptr, 2.0f + 4.0f), 1);  // F1 with alt; bit 2 is ignored
  EXPECT_EQ(probe->lastKey.VK, 112);
  EXPECT_TRUE(probe->lastKey.A);
  EXPECT_FALSE(probe->lastKey.S);
  EXPECT_EQ(Dispatch(effEditKeyUp, '=', 57), 0);  // the probe's key-up handler declines
  EXPECT_EQ(probe->lastKey.VK, 0xBB);
}

TEST_F(AdapterTest, ReaperKeepsEveryKeyButSpace) {
  host.productString = "REAPER";
  host.vendorVersion = 6041;
  Dispatch(effOpen);
  EXPECT_EQ(probe->GetHostId(), HostId::Reaper);
  EXPECT_EQ(probe->GetHostVersion(), 0x003C29);
  const int downs = probe->keyDowns.load();
  EXPECT_EQ(Dispatch(effEditKeyDown, '\r', 4), 0);  // return
  EXPECT_EQ(probe->keyDowns.load(), downs);
  EXPECT_EQ(Dispatch(effEditKeyDown, ' ', 7), 1);  // space
  EXPECT_EQ(probe->keyDowns.load(), downs + 1);
  EXPECT_EQ(probe->lastKey.VK, 32);
}

// ---- Idle ticks and latency -----------------------------------------------------------------------------------

TEST_F(AdapterTest, IdleTicksRunWhileTheEditorIsClosed) {
  effect->setParameter(effect, 0, 0.5f);
  const int delivered = probe->editorDeliveries.load();
  const int ticks = probe->idleTicks.load();
  for (int i = 0; i < 200 && probe->idleTicks.load() < ticks + 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(probe->idleTicks.load(), ticks + 2);
  EXPECT_EQ(probe->editorDeliveries.load(), delivered + 1);  // the queued host value went to the editor side
}

TEST_F(AdapterTest, LatencyChangedInAnIdleTickReachesTheHostAtOnce) {
  host.ClearCalls();
  probe->pendingLatency.store(123);
  ASSERT_TRUE(host.WaitFor(audioMasterIOChanged, 1, 2000));
  EXPECT_EQ(std::atomic_ref<int32_t>(effect->initialDelay).load(), 123);
  EXPECT_EQ(probe->GetLatency(), 123);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(host.Count(audioMasterIOChanged), 1);  // told once
}

TEST_F(AdapterTest, EditorResizeTellsTheHostOnlyForANewSize) {
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right, 664);
  EXPECT_EQ(rect->bottom, 215);
  EXPECT_FALSE(probe->RequestEditorResize(664, 215));
  EXPECT_EQ(host.Count(audioMasterSizeWindow), 0);
  EXPECT_TRUE(probe->RequestEditorResize(996, 322));
  EXPECT_EQ(rect->right, 996);
  EXPECT_EQ(rect->bottom, 322);
  const HostCallRecord call = host.Calls().back();
  EXPECT_EQ(call.opcode, audioMasterSizeWindow);
  EXPECT_EQ(call.index, 996);
  EXPECT_EQ(call.value, 322);
  host.sizeWindowAnswer = 0;
  EXPECT_FALSE(probe->RequestEditorResize(700, 300));
  EXPECT_EQ(Dispatch(effEditGetRect, 0, 0, nullptr), 0);
}

TEST_F(AdapterTest, GesturesAndEditorValuesReachTheHost) {
  probe->BeginParamEditFromEditor(0);
  probe->SetParamValueFromEditor(0, 0.75);
  probe->EndParamEditFromEditor(0);
  const std::vector<HostCallRecord> calls = host.Calls();
  std::vector<int32_t> opcodes;
  for (const HostCallRecord& call : calls)
    if (call.opcode == audioMasterBeginEdit || call.opcode == audioMasterAutomate || call.opcode == audioMasterEndEdit)
      opcodes.push_back(call.opcode);
  EXPECT_EQ(opcodes, (std::vector<int32_t>{audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}));
  for (const HostCallRecord& call : calls)
    if (call.opcode == audioMasterAutomate) {
      EXPECT_EQ(call.opt, 0.75f);
    }
  EXPECT_DOUBLE_EQ(probe->GetParam(0)->Value(), 10.0);
}

// Hosts that build their controls from the parameter properties get names there and stepped values in their units.
TEST_F(AdapterTest, StepsCrossInTheirOwnUnitsOnlyInHostsThatBuildControlsFromProperties) {
  struct Case {
    const char* product;
    bool ownUnits;
  };
  for (const Case& c : {Case{"Ardour", true}, Case{"Mixbus", true}, Case{"REAPER", false}, Case{"Probe Host", false}}) {
    SCOPED_TRACE(c.product);
    host.productString = c.product;
    VstEffect* e = CreateVstPlugin<ProbePlugin>(&VstTestHost::Callback);
    ASSERT_NE(e, nullptr);
    ProbePlugin& plugin = *static_cast<ProbePlugin*>(static_cast<IPluginVST2*>(e->object));
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(plugin.HostBuildsControlsFromProperties(), c.ownUnits);

    VstParameterProperties level{}, mode{};
    ASSERT_EQ(e->dispatcher(e, effGetParameterProperties, 0, 0, &level, 0.0f), 1);
    ASSERT_EQ(e->dispatcher(e, effGetParameterProperties, 1, 0, &mode, 0.0f), 1);
    EXPECT_STREQ(level.label, c.ownUnits ? "Level" : "dB");
    EXPECT_STREQ(mode.label, c.ownUnits ? "Mode" : "");
    EXPECT_EQ(mode.minInteger, 0);
    EXPECT_EQ(mode.maxInteger, 5);
    EXPECT_FLOAT_EQ(level.stepFloat, c.ownUnits ? 0.1f / 40.0f : 0.1f);  // 0.1 dB of -20..20

    // Every entry of the enumeration arrives as that entry.
    for (int k = 0; k <= 5; ++k) {
      const float hostValue = c.ownUnits ? static_cast<float>(k) : static_cast<float>(k) / 5.0f;
      e->setParameter(e, 1, hostValue);
      EXPECT_DOUBLE_EQ(plugin.GetParam(1)->Value(), k);
      EXPECT_FLOAT_EQ(e->getParameter(e, 1), hostValue);
    }
    // Continuous parameters stay normalised everywhere.
    e->setParameter(e, 0, 0.75f);
    EXPECT_DOUBLE_EQ(plugin.GetParam(0)->Value(), 10.0);
    EXPECT_FLOAT_EQ(e->getParameter(e, 0), 0.75f);

    // An editor gesture reports the value in the same units the host uses.
    host.ClearCalls();
    plugin.SetParamValueFromEditor(1, 0.4);
    plugin.SetParamValueFromEditor(0, 0.25);
    std::vector<float> automated;
    for (const HostCallRecord& call : host.Calls())
      if (call.opcode == audioMasterAutomate) automated.push_back(call.opt);
    ASSERT_EQ(automated.size(), 2u);
    EXPECT_FLOAT_EQ(automated[0], c.ownUnits ? 2.0f : 0.4f);
    EXPECT_FLOAT_EQ(automated[1], 0.25f);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  }
}

}  // namespace
}  // namespace ondrell::test
