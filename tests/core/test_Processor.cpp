#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/TestPlugin.h"

using namespace ondrell;
using ondrell::test::TestPlugin;

namespace {

constexpr RouteDirection kIn = RouteDirection::Input;
constexpr RouteDirection kOut = RouteDirection::Output;

Config WithIO(const char* io) {
  Config c = test::EqConfig();
  c.channelIO = io;
  return c;
}

// The channel lists ProcessBlock receives.
class CapturingPlugin : public TestPlugin {
 public:
  using TestPlugin::TestPlugin;
  void ProcessBlock(sample** inputs, sample** outputs, int nFrames) override {
    seenInputs.clear();
    seenOutputs.clear();
    for (int c = 0; inputs != nullptr && c < NChannels(kIn); ++c) seenInputs.push_back(inputs[c]);
    for (int c = 0; c < NChannels(kOut); ++c) seenOutputs.push_back(outputs[c]);
    if (gain != 0.0) {
      for (int c = 0; c < NChannels(kOut); ++c)
        for (int f = 0; f < nFrames; ++f) outputs[c][f] = gain * (inputs[c] ? inputs[c][f] : 0.0);
    } else {
      TestPlugin::ProcessBlock(inputs, outputs, nFrames);
    }
  }
  double gain = 0.0;
  std::vector<sample*> seenInputs;
  std::vector<sample*> seenOutputs;
};

}  // namespace

TEST(ChannelIO, ParsingTable) {
  const struct {
    const char* text;
    int configs;
    int inChannels, outChannels, inBuses, outBuses;
  } cases[] = {
      {"1-1 2-2", 2, 2, 2, 1, 1},
      {"2.2-2", 1, 4, 2, 2, 1},
      {"0-2", 1, 0, 2, 0, 1},       // a zero token adds no bus, the configuration still counts
      {"x-2 1-y", 2, 1, 2, 1, 1},   // tokens that are not numbers add no bus
      {"2x-2", 1, 0, 2, 0, 1},
      {"-2", 1, 0, 2, 0, 1},        // missing input side
      {"2", 1, 2, 0, 1, 0},         // missing output side
      {"1-1  1-1", 2, 1, 1, 1, 1},  // duplicates accepted; repeated spaces separate nothing
      {"*-*", 1, 0, 0, 1, 1},       // wildcard buses count -64 channels
      {"", 0, 0, 0, 0, 0},
      {"99999999999-1", 1, 0, 1, 0, 1},
  };
  for (const auto& c : cases) {
    std::vector<ChannelIOConfig> configs;
    int inCh = 0, outCh = 0, inBus = 0, outBus = 0;
    EXPECT_EQ(IPluginProcessor::ParseChannelIOStr(c.text, configs, inCh, outCh, inBus, outBus), c.configs) << c.text;
    EXPECT_EQ(static_cast<int>(configs.size()), c.configs) << c.text;
    EXPECT_EQ(inCh, c.inChannels) << c.text;
    EXPECT_EQ(outCh, c.outChannels) << c.text;
    EXPECT_EQ(inBus, c.inBuses) << c.text;
    EXPECT_EQ(outBus, c.outBuses) << c.text;
  }
}

TEST(ChannelIO, TheEqualisersConfigurations) {
  TestPlugin p;
  ASSERT_EQ(p.NIOConfigs(), 2);
  EXPECT_EQ(p.NChannels(kIn), 2);
  EXPECT_EQ(p.NChannels(kOut), 2);
  const ChannelIOConfig* mono = p.GetIOConfig(0);
  const ChannelIOConfig* stereo = p.GetIOConfig(1);
  ASSERT_TRUE(mono && stereo);
  EXPECT_EQ(mono->NBuses(kIn), 1);
  EXPECT_EQ(mono->NChannelsOnBus(kIn, 0), 1);
  EXPECT_EQ(stereo->NChannelsOnBus(kOut, 0), 2);
  EXPECT_EQ(stereo->NChannelsOnBus(kOut, 1), 0);
  EXPECT_EQ(p.GetIOConfig(2), nullptr);
  EXPECT_EQ(p.GetIOConfig(-1), nullptr);
  EXPECT_EQ(p.CountConnectedChannels(kIn), 0);
  EXPECT_EQ(p.GetSampleRate(), 48000.0);
  EXPECT_EQ(p.GetBlockSize(), 0);
}

TEST(ChannelIO, MaxBusCountAndLegalIO) {
  TestPlugin p;
  int index = -1;
  EXPECT_EQ(p.MaxBusCount(kIn, &index), 1);
  EXPECT_EQ(index, 1);  // a tie goes to the later configuration
  TestPlugin buses(WithIO("2.2-2 1-1.1 2-2"));
  EXPECT_EQ(buses.MaxBusCount(kIn, &index), 2);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(buses.MaxBusCount(kOut, &index), 2);
  EXPECT_EQ(index, 1);
  TestPlugin none(WithIO(""));
  EXPECT_EQ(none.MaxBusCount(kIn, &index), 0);
  EXPECT_EQ(index, 0);

  const struct { int in, out; bool legal; } cases[] = {
      {-1, -1, true}, {1, -1, true}, {1, 1, true}, {2, 2, true}, {1, 2, false}, {3, 3, false}, {-1, 3, false}};
  for (const auto& c : cases) EXPECT_EQ(p.LegalIO(c.in, c.out), c.legal) << c.in << "," << c.out;
  EXPECT_FALSE(none.LegalIO(-1, -1));
  TestPlugin wild(WithIO("*-2"));
  EXPECT_TRUE(wild.LegalIO(7, 2));
  EXPECT_FALSE(wild.LegalIO(7, 3));
}

TEST(ChannelIO, BusNames) {
  TestPlugin p;
  const struct { RouteDirection d; int bus, count; const char* name; } cases[] = {
      {kIn, 0, 1, "Input"},    {kIn, 0, 2, "Main"},      {kIn, 1, 2, "Aux"},        {kIn, 0, 3, "Input 0"},
      {kIn, 2, 3, "Input 2"},  {kOut, 0, 1, "Output"},   {kOut, 2, 3, "Output 2"},  {kOut, 1, 2, "Output 1"},
  };
  for (const auto& c : cases) EXPECT_EQ(p.MakeBusName(c.d, c.bus, c.count), c.name);
}

TEST(Processor, BlockSizeZeroesScratchOnlyWhenItChanges) {
  CapturingPlugin p;
  p.SetBlockSize(4);
  ASSERT_EQ(p.GetBlockSize(), 4);
  p.SetChannelsConnected(kOut, 0, 2, false);
  sample* scratch = p.ChannelPointers(kOut)[0];
  ASSERT_NE(scratch, nullptr);
  scratch[0] = 9.0;
  p.SetBlockSize(4);
  EXPECT_EQ(p.ChannelPointers(kOut)[0][0], 9.0);
  p.SetBlockSize(8);
  // The unconnected channel now points at the new, zeroed scratch buffer, not at the freed one.
  const sample* fresh = p.ChannelPointers(kOut)[0];
  for (int f = 0; f < 8; ++f) EXPECT_EQ(fresh[f], 0.0);
  EXPECT_EQ(fresh, p.Slots(kOut)[0].scratch.data());
  p.SetBlockSize(-3);
  EXPECT_EQ(p.GetBlockSize(), 8);
}

TEST(Processor, SixtyFourBitBlockReachesProcessBlock) {
  CapturingPlugin p;
  p.SetBlockSize(4);
  std::vector<sample> in0{1, 2, 3, 4}, out0(4), out1(4);
  sample* ins[] = {in0.data()};
  sample* outs[] = {out0.data(), out1.data()};
  p.SetChannelsConnected(kIn, 0, 2, false);
  p.SetChannelsConnected(kIn, 0, 1, true);
  p.SetChannelsConnected(kOut, 0, 2, false);
  p.SetChannelsConnected(kOut, 0, 2, true);
  p.AttachBuffers(kIn, 0, 2, ins);
  p.AttachBuffers(kOut, 0, 2, outs);
  p.gain = 2.0;
  p.ProcessBuffers(4);
  ASSERT_EQ(p.seenInputs.size(), 2u);
  EXPECT_EQ(p.seenInputs[0], in0.data());
  EXPECT_EQ(p.seenInputs[1], p.Slots(kIn)[1].scratch.data());  // unconnected: its own zeroed scratch
  EXPECT_EQ(p.seenOutputs[1], out1.data());
  EXPECT_EQ(out0, (std::vector<sample>{2, 4, 6, 8}));
  EXPECT_EQ(out1, (std::vector<sample>{0, 0, 0, 0}));
}

TEST(Processor, ThirtyTwoBitBlocksConvertBothWays) {
  CapturingPlugin p;
  p.SetBlockSize(3);
  std::vector<float> in0{0.5f, -0.25f, 1.0f}, in1{0.1f, 0.2f, 0.3f};
  std::vector<float> out0{7, 7, 7}, out1{1, 1, 1};
  float* ins[] = {in0.data(), in1.data()};
  float* outs[] = {out0.data(), out1.data()};
  p.SetChannelsConnected(kIn, 0, 2, true);
  p.SetChannelsConnected(kOut, 0, 2, true);
  p.AttachBuffers(kIn, 0, 2, ins, 3);
  p.AttachBuffers(kOut, 0, 2, outs, 3);
  p.gain = 0.5;
  p.ProcessBuffers32(3);
  EXPECT_EQ(p.seenInputs[0], p.Slots(kIn)[0].scratch.data());
  EXPECT_EQ(p.seenOutputs[0], p.Slots(kOut)[0].scratch.data());
  for (int f = 0; f < 3; ++f) {
    EXPECT_EQ(out0[f], static_cast<float>(0.5 * static_cast<double>(in0[f])));
    EXPECT_EQ(out1[f], static_cast<float>(0.5 * static_cast<double>(in1[f])));
  }
  std::vector<float> acc0{1, 1, 1}, acc1{-1, -1, -1};
  float* accOuts[] = {acc0.data(), acc1.data()};
  p.AttachBuffers(kIn, 0, 2, ins, 3);
  p.AttachBuffers(kOut, 0, 2, accOuts, 3);
  p.ProcessBuffersAccumulating32(3);
  for (int f = 0; f < 3; ++f) {
    EXPECT_EQ(acc0[f], 1.0f + static_cast<float>(0.5 * static_cast<double>(in0[f])));
    EXPECT_EQ(acc1[f], -1.0f + static_cast<float>(0.5 * static_cast<double>(in1[f])));
  }
}

TEST(Processor, UnconnectedSlotsConsumeNoHostPointer) {
  CapturingPlugin p(WithIO("4-4"));
  p.SetBlockSize(2);
  std::vector<sample> a(2, 1.0), b(2, 2.0);
  sample* bufs[] = {a.data(), b.data()};
  p.SetChannelsConnected(kIn, 0, 4, true);
  p.SetChannelsConnected(kIn, 1, 2, false);  // slots 1 and 2 unconnected
  p.AttachBuffers(kIn, 0, 4, bufs);
  EXPECT_EQ(p.ChannelPointers(kIn)[0], a.data());
  EXPECT_EQ(p.ChannelPointers(kIn)[3], b.data());
  EXPECT_EQ(p.ChannelPointers(kIn)[1], p.Slots(kIn)[1].scratch.data());
  EXPECT_EQ(p.CountConnectedChannels(kIn), 2);
  EXPECT_FALSE(p.IsChannelConnected(kIn, 1));
  EXPECT_FALSE(p.IsChannelConnected(kIn, 9));
  p.SetChannelsConnected(kIn, 3, 100, false);  // clipped to the slots that exist
  EXPECT_FALSE(p.IsChannelConnected(kIn, 3));

  p.SetChannelsConnected(kIn, 0, 4, true);
  p.SetChannelsConnected(kOut, 0, 4, false);
  p.RestrictToStereo();
  EXPECT_TRUE(p.IsChannelConnected(kIn, 1));
  EXPECT_FALSE(p.IsChannelConnected(kIn, 2));
  EXPECT_FALSE(p.IsChannelConnected(kOut, 1));
  EXPECT_TRUE(p.IsChannelConnected(kOut, 2));
  EXPECT_TRUE(p.IsChannelConnected(kOut, 3));
}

TEST(Processor, DefaultProcessBlockCopiesAndZeroes) {
  TestPlugin p(WithIO("1-2"));
  p.SetBlockSize(3);
  std::vector<sample> in{0.25, -0.5, 1.0}, out0{9, 9, 9}, out1{9, 9, 9};
  sample* ins[] = {in.data()};
  sample* outs[] = {out0.data(), out1.data()};
  p.SetChannelsConnected(kIn, 0, 1, true);
  p.SetChannelsConnected(kOut, 0, 2, true);
  p.AttachBuffers(kIn, 0, 1, ins);
  p.AttachBuffers(kOut, 0, 2, outs);
  p.ProcessBuffers(3);
  EXPECT_EQ(out0, in);
  EXPECT_EQ(out1, (std::vector<sample>{0, 0, 0}));

  // In place: the same buffer for input and output is left as it is.
  sample* same[] = {in.data()};
  p.AttachBuffers(kOut, 0, 1, same);
  p.ProcessBuffers(3);
  EXPECT_EQ(in, (std::vector<sample>{0.25, -0.5, 1.0}));
}

TEST(Processor, MidiPassThroughAndSendAll) {
  TestPlugin p;
  const MidiMsg msg{12, 0x90, 60, 100};
  p.ProcessMidiMsg(msg);
  ASSERT_EQ(p.sentMidi.size(), 1u);
  EXPECT_EQ(p.sentMidi[0].offset, 12);
  EXPECT_EQ(p.sentMidi[0].data1, 60);
  p.sentMidi.clear();
  p.sendMidiResults = {true, false, true};
  const MidiMsg msgs[] = {msg, msg, msg};
  EXPECT_FALSE(p.SendMidiMsgs(msgs));
  EXPECT_EQ(p.sentMidi.size(), 3u);  // all attempted
  p.sendMidiResults = {true};
  EXPECT_TRUE(p.SendMidiMsgs(msgs));
  EXPECT_FALSE(p.SendSysEx(SysExMsg{}));
}

TEST(Processor, LatencyTailAndContext) {
  Config c = test::EqConfig();
  c.latency = 37;
  TestPlugin p(c);
  EXPECT_EQ(p.GetLatency(), 37);
  p.SetLatency(12);
  p.SetTailSize(480);
  EXPECT_EQ(p.GetLatency(), 12);
  EXPECT_EQ(p.GetTailSize(), 480);
  EXPECT_FALSE(p.GetRenderingOffline());
  const TransportInfo defaults;
  EXPECT_EQ(p.GetTransportInfo().tempo, 120.0);
  EXPECT_EQ(p.GetTransportInfo().samplePos, -1.0);
  EXPECT_EQ(defaults.numerator, 4);
  EXPECT_EQ(defaults.denominator, 4);
  EXPECT_FALSE(defaults.running);
}
