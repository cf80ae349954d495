#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/core/TestPlugin.h"

using namespace ondrell;
using ondrell::test::TestPlugin;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One idle tick, as the timer would run it.
void Tick(TestPlugin& p) {
  const std::unique_ptr<Timer> timer = Timer::Create([](Timer&) {}, 1000);
  p.OnIdleTimer(*timer);
}

}  // namespace

TEST(HostIdentification, Table) {
  const struct { std::string name; HostId id; } cases[] = {
      {"REAPER", HostId::Reaper},
      {"Cockos Reaper 7", HostId::Reaper},
      {"WaveLab Elements 11", HostId::WaveLabElements},
      {"WaveLab Pro", HostId::WaveLab},
      {"Ableton Live 12", HostId::Live},
      {"Cubase Live Edition", HostId::Cubase},      // an earlier text wins over "live"
      {"Olive Samplitude", HostId::Samplitude},     // "samplitude" is tested before "live"
      {"Deliverance Audio", HostId::Live},          // "live" anywhere in the name
      {"Bitwig Studio", HostId::Bitwig},
      {"Bitwig", HostId::UnknownHost},
      {"Blue Cat's VST Host", HostId::BlueCat},
      {"iZotope RX 10", HostId::IZotopeRX},
      {"Vst3PluginTestHost", HostId::Vst3TestHost},
      {"Audacity", HostId::Audacity},
      {"www.example.org", HostId::Web},
      {"quorl-host", HostId::UnknownHost},
      {"", HostId::UnknownHost},
      {std::string(255 - 6, ' ') + "REAPER", HostId::Reaper},       // ends at byte 255
      {std::string(255 - 5, ' ') + "REAPER", HostId::UnknownHost},  // runs past byte 255: not matched
  };
  for (const auto& c : cases)
    EXPECT_EQ(IPluginAPIBase::IdentifyHost(c.name.c_str()), c.id) << "'" << c.name << "'";
  EXPECT_EQ(IPluginAPIBase::IdentifyHost(nullptr), HostId::UnknownHost);
  EXPECT_EQ(static_cast<int>(HostId::WaveLabElements), 32);
  EXPECT_EQ(static_cast<int>(HostId::Live), 9);
}

TEST(APIBase, ConstructionFromTheConfiguration) {
  TestPlugin p;
  EXPECT_EQ(p.GetHostId(), HostId::NotIdentified);
  EXPECT_EQ(p.GetPluginName(), "Quorl EQ");
  EXPECT_EQ(p.GetMakerName(), "Ondrell Audio");
  EXPECT_EQ(p.GetUniqueId(), ('Q' << 24) | ('r' << 16) | ('e' << 8) | 'q');
  EXPECT_EQ(p.GetPluginVersion(false), 0x00040100);
  EXPECT_EQ(p.GetPluginVersion(true), 40100);
  EXPECT_EQ(p.GetAPI(), PluginApi::CLAP);
  EXPECT_TRUE(p.HasEditor());
  EXPECT_FALSE(p.DoesStateChunks());
  EXPECT_EQ(p.GetEditorWidth(), 664);
  EXPECT_EQ(p.GetEditorHeight(), 215);
  EXPECT_EQ(p.GetMinWidth(), 221);  // limits given in either order
  EXPECT_EQ(p.GetMaxWidth(), 1992);
  EXPECT_EQ(p.GetMinHeight(), 71);
  EXPECT_EQ(p.GetMaxHeight(), 645);
  EXPECT_EQ(p.NParams(), 10);
  EXPECT_EQ(p.GetParam(10), nullptr);
  EXPECT_EQ(p.GetParam(-1), nullptr);
  EXPECT_STREQ(ParamChangeSourceName(ParamChangeSource::EditorDelegate), "Editor Delegate");
}

TEST(APIBase, SetHostIdentifiesThenCallsTheHooksInOrder) {
  TestPlugin p;
  p.SetHost("Bitwig Studio", 0x050000);
  EXPECT_EQ(p.GetHostId(), HostId::Bitwig);
  EXPECT_EQ(static_cast<int>(p.GetHostId()), 34);
  EXPECT_EQ(p.GetHostVersion(), 0x050000);
  EXPECT_EQ(p.GetHostName(), "Bitwig Studio");
  EXPECT_EQ(p.log, (std::vector<std::string>{"OnHostSpecificSetup", "OnHostKnown"}));
}

TEST(APIBase, ConstrainEditorSize) {
  TestPlugin p;
  const struct { int w, h; bool inside; int cw, ch; } cases[] = {
      {664, 215, true, 664, 215}, {100, 1000, false, 221, 645}, {221, 71, true, 221, 71},
      {1993, 70, false, 1992, 71}, {-5, 300, false, 221, 300},
  };
  for (const auto& c : cases) {
    int w = c.w, h = c.h;
    EXPECT_EQ(p.ConstrainEditorSize(w, h), c.inside) << c.w << "x" << c.h;
    EXPECT_EQ(w, c.cw);
    EXPECT_EQ(h, c.ch);
  }
}

TEST(APIBase, EditorResizeAsksTheHostOnlyWhenNeeded) {
  TestPlugin p;
  EXPECT_TRUE(p.ResizeEditorFromEditor(700, 300, false));
  EXPECT_TRUE(p.log.empty());
  p.hostAcceptsResize = false;
  EXPECT_FALSE(p.ResizeEditorFromEditor(700, 300, true));
  EXPECT_EQ(p.log, (std::vector<std::string>{"RequestEditorResize(700,300)"}));
}

TEST(APIBase, ParamQueueKeepsTheFirst512AndTheIdleTickDeliversThem) {
  TestPlugin p;
  int accepted = 0;
  for (int i = 0; i < 513; ++i) accepted += p.QueueParamValueForEditor(4, -20.0 + (i % 400) * 0.1, false);
  EXPECT_EQ(accepted, 512);
  Tick(p);
  ASSERT_EQ(p.editorValues.size(), 512u);
  for (int i = 0; i < 512; ++i) {
    EXPECT_EQ(p.editorValues[i].index, 4);
    EXPECT_EQ(p.editorValues[i].value, -20.0 + (i % 400) * 0.1);
    EXPECT_FALSE(p.editorValues[i].normalised);
  }
  EXPECT_EQ(p.log.back(), "OnIdle");
  EXPECT_EQ(p.log.front(), "ForEditor(4,Editor Delegate)");
}

TEST(APIBase, QueueingConvertsNormalisedValuesAndRefusesBadOnes) {
  TestPlugin p;
  EXPECT_TRUE(p.QueueParamValueForEditor(8, 0.5, true));   // "Gain", -20..10: position 0.5 is -5 dB
  EXPECT_TRUE(p.QueueParamValueForEditor(3, 0.52, true));  // stepped enum 0..5: 2.6 rounds to 3
  EXPECT_FALSE(p.QueueParamValueForEditor(8, kNaN, false));
  EXPECT_FALSE(p.QueueParamValueForEditor(8, kNaN, true));
  EXPECT_FALSE(p.QueueParamValueForEditor(10, 0.5, true));
  EXPECT_FALSE(p.QueueParamValueForEditor(-1, 0.5, true));
  Tick(p);
  ASSERT_EQ(p.editorValues.size(), 2u);
  EXPECT_EQ(p.editorValues[0].value, -20.0 + 0.5 * 30.0);
  EXPECT_EQ(p.editorValues[1].value, 3.0);
}

TEST(APIBase, IdleTickDrainsParamsThenMidiThenSysExThenIdles) {
  TestPlugin p;
  const uint8_t bytes[] = {0xF0, 0x7E, 0x01, 0xF7};
  EXPECT_TRUE(p.QueueSysExForEditor(SysExMsg{5, 4, bytes}));
  EXPECT_TRUE(p.QueueMidiForEditor(MidiMsg{3, 0x90, 64, 1}));
  EXPECT_TRUE(p.QueueParamValueForEditor(2, 1.5, false));
  Tick(p);
  EXPECT_EQ(p.log, (std::vector<std::string>{"ForEditor(2,Editor Delegate)", "EditorMidi(3,144)", "EditorSysEx(5,4)",
                                             "OnIdle"}));
  EXPECT_EQ(p.lastSysEx, std::vector<uint8_t>(bytes, bytes + 4));

  // Without an editor the queues wait and only OnIdle runs.
  test::TestPlugin headless([] {
    Config c = test::EqConfig();
    c.hasEditor = false;
    return c;
  }());
  headless.QueueParamValueForEditor(2, 1.5, false);
  Tick(headless);
  EXPECT_EQ(headless.log, (std::vector<std::string>{"OnIdle"}));
}

TEST(APIBase, MidiAndSysExQueuesHoldTheirSizesAndRefuseOversizedSysEx) {
  TestPlugin p;
  int midi = 0;
  for (int i = 0; i < 40; ++i) midi += p.QueueMidiForEditor(MidiMsg{i, 0x80, 1, 2});
  EXPECT_EQ(midi, 32);
  std::vector<uint8_t> big(513, 0x42);
  EXPECT_FALSE(p.QueueSysExForEditor(SysExMsg{0, 513, big.data()}));
  EXPECT_FALSE(p.QueueSysExForEditor(SysExMsg{0, -1, big.data()}));
  int sysex = 0;
  for (int i = 0; i < 6; ++i) sysex += p.QueueSysExForEditor(SysExMsg{i, 512, big.data()});
  EXPECT_EQ(sysex, 4);

  // From the editor towards the processor.
  for (int i = 0; i < 40; ++i) p.SendMidiMsgFromEditor(MidiMsg{i, 0xB0, 7, 100});
  EXPECT_EQ(p.mMidiFromEditor.ElementsAvailable(), 32u);
  MidiMsg m;
  ASSERT_TRUE(p.mMidiFromEditor.Pop(m));
  EXPECT_EQ(m.offset, 0);
  p.SendSysExFromEditor(SysExMsg{1, 513, big.data()});  // refused, not cut
  EXPECT_EQ(p.mSysExFromEditor.ElementsAvailable(), 0u);
  p.SendSysExFromEditor(SysExMsg{2, 3, nullptr});  // no data: zero bytes
  SysExBlock block;
  ASSERT_TRUE(p.mSysExFromEditor.Pop(block));
  EXPECT_EQ(block.offset, 2);
  EXPECT_EQ(block.size, 3);
  EXPECT_EQ(block.data[0], 0);
}

TEST(APIBase, EditorGestureRoutesToTheHostAndThePlugin) {
  TestPlugin p;
  p.BeginParamEditFromEditor(4);
  p.SetParamValueFromEditor(4, 0.75);
  p.EndParamEditFromEditor(4);
  EXPECT_EQ(p.log, (std::vector<std::string>{"BeginParamEdit(4)", "InformHost(4)", "OnParamChange(4,UI,-1)",
                                             "OnParamChange(4)", "ForEditor(4,UI)", "EndParamEdit(4)"}));
  EXPECT_EQ(p.GetParam(4)->Value(), 10.0);
  EXPECT_EQ(p.informed, (std::vector<double>{0.75}));
}

TEST(APIBase, EditorValuesThatAreNotFiniteOrForUnknownParamsDoNothing) {
  TestPlugin p;
  p.SetParamValueFromEditor(4, 0.75);
  p.log.clear();
  for (double bad : {kNaN, std::numeric_limits<double>::infinity()}) {
    p.SetParamValueFromEditor(4, bad);
    p.ApplyParamValueFromEditor(4, bad);
  }
  p.SetParamValueFromEditor(99, 0.5);
  p.SetParamValueFromEditor(-1, 0.5);
  EXPECT_TRUE(p.log.empty());
  EXPECT_EQ(p.GetParam(4)->Value(), 10.0);
}

TEST(APIBase, ResetAndEditorOpeningAnnounceEveryParameter) {
  TestPlugin p;
  p.OnParamsReset(ParamChangeSource::Reset);
  ASSERT_EQ(p.log.size(), 30u);
  EXPECT_EQ(p.log[0], "OnParamChange(0,Reset,-1)");
  EXPECT_EQ(p.log[2], "ForEditor(0,Reset)");
  EXPECT_EQ(p.log[29], "ForEditor(9,Reset)");
  // Without a make-graphics function no editor opens (OpenWindow gives null), so the hook is called directly.
  p.OnEditorOpened();
  ASSERT_EQ(p.editorValues.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(p.editorValues[i].index, i);
    EXPECT_TRUE(p.editorValues[i].normalised);
    EXPECT_EQ(p.editorValues[i].value, p.GetParam(i)->Normalised());
  }
  EXPECT_DOUBLE_EQ(p.editorValues[3].value, 2.0 / 5.0);  // "MF 1 Freq" defaults to entry 2 of 6
}

TEST(APIBase, GetMidiNoteTextHasNoNames) {
  TestPlugin p;
  std::string text = "x";
  EXPECT_FALSE(p.GetMidiNoteText(60, text));
  EXPECT_EQ(text, "");
}
