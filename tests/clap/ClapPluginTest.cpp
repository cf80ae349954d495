// QuorlEQ.clap end to end, loaded into the process and driven through the CLAP records only.

#include "tests/clap/ClapTestHost.h"
#include "tests/engine/CountingAllocator.h"
#include "tests/support/TestSystem.h"
#include "tools/host/DynamicLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace ondrell::test {
namespace {

constexpr clap_id kHpf = 0, kLoShelfLevel = 2, kMfLevel1 = 4, kGain = 8, kOversampling = 9;

// The window system the editor embeds in on this system.
#if defined(_WIN32)
constexpr const char* kNativeWindowApi = "win32";
#else
constexpr const char* kNativeWindowApi = "x11";
#endif

class ClapPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    // Editor preferences go to a scratch folder, never into the user's configuration.
    quorl_test::SetEnvironment("XDG_CONFIG_HOME", ::testing::TempDir().c_str());
    // The counting allocator sees the plug-in library's own allocations too.
    static const bool watched = [] {
      ClapEntry();  // loads the library
      host::DynamicLibrary library;
      return library.OpenIfLoaded(ClapPath()) && quorl_test::WatchLoadedLibrary(library.Handle());
    }();
    ASSERT_TRUE(watched || !quorl_test::WatchesCLibrary());
    ASSERT_TRUE(ClapEntry().init(ClapPath()));
  }
  void TearDown() override { ClapEntry().deinit(); }
};

// The plug-in at its defaults: y = x + 0.01 sin(clamp(x, -1, 1)).
double DefaultsReference(double x) { return 0.01 * std::sin(std::min(std::max(x, -1.0), 1.0)) + x; }

std::vector<float> TestSignal(size_t n, double phase) {
  std::vector<float> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = static_cast<float>(0.8 * std::sin(0.05 * double(i) + phase) + 0.3 * std::sin(1.3 * double(i)));
  return x;
}

TEST_F(ClapPlugin, ConfigurationFollowsTheTrack) {
  struct Case {
    int trackChannels;  // -1: the host has no track-info
    uint32_t expectedChannels;
  };
  for (const Case c : {Case{-1, 2}, Case{1, 1}, Case{2, 2}, Case{6, 2}}) {
    HostOptions options;
    options.trackChannels = c.trackChannels;
    TestHost host(options);
    Instance plugin(host);
    ASSERT_TRUE(plugin.Valid());
    const auto* ports = plugin.Ext<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    clap_audio_port_info_t info{};
    ASSERT_TRUE(ports->get(plugin.P(), 0, true, &info));
    EXPECT_EQ(info.channel_count, c.expectedChannels) << "track channels " << c.trackChannels;
    ASSERT_TRUE(ports->get(plugin.P(), 0, false, &info));
    EXPECT_EQ(info.channel_count, c.expectedChannels) << "track channels " << c.trackChannels;
  }
}

TEST_F(ClapPlugin, PortsAndConfigurations) {
  TestHost host;
  Instance plugin(host);
  const auto* ports = plugin.Ext<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
  const auto* configs = plugin.Ext<clap_plugin_audio_ports_config_t>(CLAP_EXT_AUDIO_PORTS_CONFIG);
  ASSERT_NE(ports, nullptr);
  ASSERT_NE(configs, nullptr);
  EXPECT_EQ(ports->count(plugin.P(), true), 1u);
  EXPECT_EQ(ports->count(plugin.P(), false), 1u);
  for (const bool isInput : {true, false}) {
    clap_audio_port_info_t info{};
    ASSERT_TRUE(ports->get(plugin.P(), 0, isInput, &info));
    EXPECT_EQ(info.id, 0u);
    EXPECT_STREQ(info.name, isInput ? "Input" : "Output");
    EXPECT_EQ(info.flags, 15u);
    EXPECT_EQ(info.channel_count, 2u);
    EXPECT_STREQ(info.port_type, "stereo");
    EXPECT_EQ(info.in_place_pair, UINT32_MAX);
    EXPECT_FALSE(ports->get(plugin.P(), 1, isInput, &info));
  }

  ASSERT_EQ(configs->count(plugin.P()), 2u);
  const char* names[] = {"1-1", "2-2"};
  for (uint32_t i = 0; i < 2; ++i) {
    clap_audio_ports_config_t c{};
    ASSERT_TRUE(configs->get(plugin.P(), i, &c));
    EXPECT_EQ(c.id, i);
    EXPECT_STREQ(c.name, names[i]);
    EXPECT_EQ(c.input_port_count, 1u);
    EXPECT_EQ(c.output_port_count, 1u);
    EXPECT_TRUE(c.has_main_input);
    EXPECT_TRUE(c.has_main_output);
    EXPECT_EQ(c.main_input_channel_count, i + 1);
    EXPECT_EQ(c.main_output_channel_count, i + 1);
    EXPECT_STREQ(c.main_input_port_type, i == 0 ? "mono" : "stereo");
    EXPECT_STREQ(c.main_output_port_type, i == 0 ? "mono" : "stereo");
  }
  clap_audio_ports_config_t c{};
  EXPECT_FALSE(configs->get(plugin.P(), 2, &c));

  EXPECT_FALSE(configs->select(plugin.P(), 2));  // equal to the count: refused, selection kept
  clap_audio_port_info_t info{};
  ports->get(plugin.P(), 0, true, &info);
  EXPECT_EQ(info.channel_count, 2u);
  EXPECT_TRUE(configs->select(plugin.P(), 0));
  ports->get(plugin.P(), 0, true, &info);
  EXPECT_EQ(info.channel_count, 1u);
  EXPECT_STREQ(info.port_type, "mono");
}

TEST_F(ClapPlugin, ExtensionsOffered) {
  TestHost host;
  Instance plugin(host);
  const auto* p = plugin.P();
  for (const char* id : {"clap.state", "clap.render", "clap.latency", "clap.audio-ports", "clap.audio-ports-config",
                         "clap.params", "clap.gui", "clap.tail", "clap.timer-support", "clap.posix-fd-support"})
    EXPECT_NE(p->get_extension(p, id), nullptr) << id;
  for (const char* id : {"clap.note-ports", "clap.webview/3", "clap.state-context/2",
                         "clap.thread-pool", "clap.voice-info", "clap.params ", ""})
    EXPECT_EQ(p->get_extension(p, id), nullptr) << id;
  EXPECT_EQ(p->get_extension(p, nullptr), nullptr);
}

TEST_F(ClapPlugin, ParameterInfo) {
  TestHost host;
  Instance plugin(host);
  const auto* params = plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
  ASSERT_EQ(params->count(plugin.P()), 10u);
  struct Case {
    clap_id id;
    const char* name;
    uint32_t flags;
    double min, max, def;
  };
  const Case cases[] = {
      {0, "HPF", 32801, 0, 5, 0},           {1, "LoShelf Freq", 32801, 0, 3, 0},
      {2, "LoShelf Level", 32800, 0, 1, 0.5}, {3, "MF 1 Freq", 32801, 0, 5, 2},
      {4, "MF Level 1", 32800, 0, 1, 0.5},  {5, "MF 2 Freq", 32801, 0, 6, 3},
      {6, "MF Level 2", 32800, 0, 1, 0.5},  {7, "HiShelf Level", 32800, 0, 1, 0.5},
      {8, "Gain", 32800, 0, 1, 20.0 / 30.0}, {9, "Oversampling", 32769, 0, 1, 0},
  };
  for (const Case& c : cases) {
    clap_param_info_t info{};
    ASSERT_TRUE(params->get_info(plugin.P(), c.id, &info));
    EXPECT_EQ(info.id, c.id);
    EXPECT_STREQ(info.name, c.name);
    EXPECT_STREQ(info.module, "");
    EXPECT_EQ(info.cookie, nullptr);
    EXPECT_EQ(info.flags, c.flags) << c.name;
    EXPECT_DOUBLE_EQ(info.min_value, c.min) << c.name;
    EXPECT_DOUBLE_EQ(info.max_value, c.max) << c.name;
    EXPECT_DOUBLE_EQ(info.default_value, c.def) << c.name;
    double value = -1.0;
    ASSERT_TRUE(params->get_value(plugin.P(), c.id, &value));
    EXPECT_DOUBLE_EQ(value, c.def) << c.name;
  }
  clap_param_info_t info{};
  EXPECT_FALSE(params->get_info(plugin.P(), 10, &info));
  EXPECT_FALSE(params->get_info(plugin.P(), 0, nullptr));
  double value = 0.0;
  EXPECT_FALSE(params->get_value(plugin.P(), 10, &value));
  EXPECT_FALSE(params->get_value(plugin.P(), 0, nullptr));
}

TEST_F(ClapPlugin, ValueAndTextConversions) {
  TestHost host;
  Instance plugin(host);
  struct ToText {
    clap_id id;
    double value;
    const char* text;
  };
  for (const ToText& c : {ToText{kHpf, 2, "50 Hz"}, ToText{kHpf, 2.4, "50 Hz"}, ToText{kHpf, 9, "300 Hz"},
                          ToText{kLoShelfLevel, 0.5, "0.0 dB"}, ToText{kLoShelfLevel, 0.4125, "-3.5 dB"},
                          ToText{kGain, 1.0, "10.0 dB"}, ToText{kGain, 0.0, "-20.0 dB"},
                          ToText{kOversampling, 1, "on"}, ToText{kOversampling, 0, "off"}})
    EXPECT_EQ(plugin.Text(c.id, c.value), c.text) << c.id << " " << c.value;
  // "-3.5 dB" needs 8 bytes with its terminator.
  EXPECT_EQ(plugin.Text(kLoShelfLevel, 0.4125, 7), "<refused>");
  EXPECT_EQ(plugin.Text(kLoShelfLevel, 0.4125, 8), "-3.5 dB");
  EXPECT_EQ(plugin.Text(kLoShelfLevel, std::nan(""), 64), "<refused>");
  EXPECT_EQ(plugin.Text(10, 0.0), "<refused>");

  const auto* params = plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
  struct FromText {
    clap_id id;
    const char* text;
    double value;
  };
  for (const FromText& c : {FromText{kHpf, "50 Hz", 2}, FromText{kHpf, "Off", 0}, FromText{kHpf, " 50 hz ", 2},
                            FromText{kMfLevel1, "-7.25 dB", (20.0 - 7.25) / 40.0}, FromText{kMfLevel1, "25", 1.0},
                            FromText{kMfLevel1, "6db", 26.0 / 40.0}, FromText{kMfLevel1, " 6 ", 26.0 / 40.0},
                            FromText{kGain, "-20", 0.0}, FromText{kOversampling, "on", 1},
                            FromText{kOversampling, "On", 1}, FromText{kOversampling, "OFF", 0}}) {
    double v = -1.0;
    ASSERT_TRUE(params->text_to_value(plugin.P(), c.id, c.text, &v)) << c.text;
    EXPECT_DOUBLE_EQ(v, c.value) << c.text;
  }
  // Text that is no value of the parameter is refused and the output is left alone.
  for (const FromText& c : {FromText{kGain, "", 0}, FromText{kGain, "abc", 0}, FromText{kGain, "nan", 0},
                            FromText{kGain, "1.5junk", 0}, FromText{kGain, "inf", 0}, FromText{kGain, "6 Hz", 0},
                            FromText{kGain, "dB", 0}, FromText{kHpf, "2", 0}, FromText{kHpf, "51 Hz", 0},
                            FromText{kOversampling, "bogus", 0}, FromText{kOversampling, "1", 0}}) {
    double v = -1.0;
    EXPECT_FALSE(params->text_to_value(plugin.P(), c.id, c.text, &v)) << "\"" << c.text << "\"";
    EXPECT_EQ(v, -1.0) << c.text;
  }
  double v = 0.0;
  EXPECT_FALSE(params->text_to_value(plugin.P(), 10, "1", &v));
  EXPECT_FALSE(params->text_to_value(plugin.P(), 0, nullptr, &v));
  EXPECT_FALSE(params->text_to_value(plugin.P(), 0, "1", nullptr));
}

TEST_F(ClapPlugin, DefaultsProcessAsTheirFormulaIn32And64Bit) {
  HostOptions options;
  options.trackChannels = 2;
  TestHost host(options);
  Instance plugin(host);
  ASSERT_TRUE(plugin.Activate(48000, 256));
  const uint32_t n = 256;
  auto l = TestSignal(n, 0.0), r = TestSignal(n, 1.0);
  std::vector<float> ol(n), orr(n);
  float* in[] = {l.data(), r.data()};
  float* out[] = {ol.data(), orr.data()};
  EXPECT_EQ(plugin.Process(in, out, 2, n), CLAP_PROCESS_CONTINUE_IF_NOT_QUIET);
  for (uint32_t i = 0; i < n; ++i) {
    ASSERT_FLOAT_EQ(ol[i], static_cast<float>(DefaultsReference(l[i]))) << i;
    ASSERT_FLOAT_EQ(orr[i], static_cast<float>(DefaultsReference(r[i]))) << i;
  }
  std::vector<double> dl(l.begin(), l.end()), dr(r.begin(), r.end()), dol(n), dor(n);
  double* in64[] = {dl.data(), dr.data()};
  double* out64[] = {dol.data(), dor.data()};
  EXPECT_EQ(plugin.Process64(in64, out64, 2, n), CLAP_PROCESS_CONTINUE_IF_NOT_QUIET);
  for (uint32_t i = 0; i < n; ++i) {
    ASSERT_DOUBLE_EQ(dol[i], DefaultsReference(dl[i])) << i;
    ASSERT_DOUBLE_EQ(dor[i], DefaultsReference(dr[i])) << i;
  }
  plugin.Deactivate();
}

TEST_F(ClapPlugin, BlocksLongerThanTheActivatedMaximumAreProcessedInSlices) {
  TestHost host;
  Instance plugin(host);
  ASSERT_TRUE(plugin.Activate(48000, 64));
  const uint32_t n = 1000;  // more than 15 times the announced maximum
  auto l = TestSignal(n, 0.3), r = TestSignal(n, 2.0);
  std::vector<float> ol(n, 9.f), orr(n, 9.f);
  float* in[] = {l.data(), r.data()};
  float* out[] = {ol.data(), orr.data()};
  EXPECT_EQ(plugin.Process(in, out, 2, n), CLAP_PROCESS_CONTINUE_IF_NOT_QUIET);
  for (uint32_t i = 0; i < n; ++i) ASSERT_FLOAT_EQ(orr[i], static_cast<float>(DefaultsReference(r[i]))) << i;
  std::vector<double> dl(l.begin(), l.end()), dr(r.begin(), r.end()), dol(n), dor(n);
  double* in64[] = {dl.data(), dr.data()};
  double* out64[] = {dol.data(), dor.data()};
  EXPECT_EQ(plugin.Process64(in64, out64, 2, n), CLAP_PROCESS_CONTINUE_IF_NOT_QUIET);
  for (uint32_t i = 0; i < n; ++i) ASSERT_DOUBLE_EQ(dol[i], DefaultsReference(dl[i])) << i;
  plugin.Deactivate();
}

TEST_F(ClapPlugin, AHugeAnnouncedMaximumIsNotReservedUpFront) {
  TestHost host;
  Instance plugin(host);
  // 4 Mi frames would be 32 MiB per channel buffer, several times over; the plug-in must not reserve them.
  // (Sanitizers keep freed memory or shadow memory resident, so the measure means nothing there.)
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  const long long before = quorl_test::ResidentBytes();
  ASSERT_GT(before, 0);
  ASSERT_TRUE(plugin.Activate(48000, 1u << 22));
  ASSERT_LT(quorl_test::ResidentBytes() - before, 32ll << 20);
  plugin.Deactivate();
#endif

  // The largest maximum CLAP allows: activation succeeds and long calls still process exactly.
  ASSERT_TRUE(plugin.Activate(48000, 0x7fffffffu));
  const uint32_t n = 20000;
  auto l = TestSignal(n, 0.7), r = TestSignal(n, 1.1);
  std::vector<float> ol(n), orr(n);
  float* in[] = {l.data(), r.data()};
  float* out[] = {ol.data(), orr.data()};
  EXPECT_EQ(plugin.Process(in, out, 2, n), CLAP_PROCESS_CONTINUE_IF_NOT_QUIET);
  for (uint32_t i = 0; i < n; ++i) ASSERT_FLOAT_EQ(ol[i], static_cast<float>(DefaultsReference(l[i]))) << i;
  plugin.Deactivate();
}

TEST_F(ClapPlugin, MalformedProcessCallsAreErrors) {
  TestHost host;
  Instance plugin(host);
  ASSERT_TRUE(plugin.Activate(48000, 64));
  const clap_plugin_t* p = plugin.P();
  EXPECT_EQ(p->process(p, nullptr), CLAP_PROCESS_ERROR);
  std::vector<float> a(64), b(64);
  float* ch[] = {a.data(), b.data()};
  clap_audio_buffer_t buffer{ch, nullptr, 2, 0, 0};
  clap_process_t proc{};
  proc.frames_count = 64;
  proc.audio_inputs_count = 1;  // announced, but no array
  proc.audio_outputs = &buffer;
  proc.audio_outputs_count = 1;
  EXPECT_EQ(p->process(p, &proc), CLAP_PROCESS_ERROR);
  proc.audio_inputs_count = 0;
  proc.audio_outputs = nullptr;
  EXPECT_EQ(p->process(p, &proc), CLAP_PROCESS_ERROR);
  clap_audio_buffer_t missing{nullptr, nullptr, 2, 0, 0};  // channels without pointers
  proc.audio_outputs = &missing;
  EXPECT_EQ(p->process(p, &proc), CLAP_PROCESS_ERROR);
  plugin.Deactivate();
}

TEST_F(ClapPlugin, ParameterEvents) {
  TestHost host;
  Instance plugin(host);
  ASSERT_TRUE(plugin.Activate(48000, 64));
  std::vector<float> a(64), b(64), c(64), d(64);
  float* in[] = {a.data(), b.data()};
  float* out[] = {c.data(), d.data()};

  EventList events;
  events.AddParam(kMfLevel1, 0.25, 0);
  events.AddParam(kMfLevel1, 0.75, 10);  // the later event wins for the whole block
  events.AddParam(kHpf, 3.4, 5);         // an enumeration takes its own units, stepped
  events.AddParam(kGain, 1.7, 0);        // beyond the range: clamped
  events.AddParam(42, 0.5, 0);           // unknown id: ignored
  clap_event_param_value_t foreign{};
  foreign.header = {sizeof foreign, 0, 7, CLAP_EVENT_PARAM_VALUE, 0};
  foreign.param_id = kLoShelfLevel;
  foreign.value = 1.0;
  events.Add(foreign);  // other event space: ignored
  clap_event_param_value_t shortEvent = foreign;
  shortEvent.header = {48, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
  events.Add(shortEvent);  // shorter than a parameter event: ignored
  ASSERT_EQ(plugin.Process(in, out, 2, 64, events.List()), CLAP_PROCESS_CONTINUE_IF_NOT_QUIET);
  EXPECT_DOUBLE_EQ(plugin.Value(kMfLevel1), 0.75);
  EXPECT_DOUBLE_EQ(plugin.Value(kHpf), 3.0);
  EXPECT_DOUBLE_EQ(plugin.Value(kGain), 1.0);
  EXPECT_DOUBLE_EQ(plugin.Value(kLoShelfLevel), 0.5);

  // Non-finite values are ignored: the parameter keeps its value.
  EventList bad;
  bad.AddParam(kMfLevel1, std::nan(""));
  bad.AddParam(kMfLevel1, INFINITY);
  bad.AddParam(kHpf, -INFINITY);
  ASSERT_EQ(plugin.Process(in, out, 2, 64, bad.List()), CLAP_PROCESS_CONTINUE_IF_NOT_QUIET);
  EXPECT_DOUBLE_EQ(plugin.Value(kMfLevel1), 0.75);
  EXPECT_DOUBLE_EQ(plugin.Value(kHpf), 3.0);
  for (float v : c) ASSERT_TRUE(std::isfinite(v));
  plugin.Deactivate();

  // flush while inactive applies the same way.
  EventList flushEvents;
  flushEvents.AddParam(kLoShelfLevel, 0.125);
  flushEvents.AddParam(kOversampling, std::nan(""));
  OutputEvents sink;
  plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS)->flush(plugin.P(), flushEvents.List(), sink.List());
  EXPECT_DOUBLE_EQ(plugin.Value(kLoShelfLevel), 0.125);
  EXPECT_DOUBLE_EQ(plugin.Value(kOversampling), 0.0);
  EXPECT_TRUE(sink.events.empty());
}

TEST_F(ClapPlugin, MidiIsPassedOnInOffsetOrderAcrossBlocks) {
  TestHost host;
  Instance plugin(host);
  ASSERT_TRUE(plugin.Activate(48000, 64));
  std::vector<float> a(64), b(64), c(64), d(64);
  float* in[] = {a.data(), b.data()};
  float* out[] = {c.data(), d.data()};

  EventList events;
  clap_event_note_t noteOn{};
  noteOn.header = {sizeof noteOn, 10, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_ON, 0};
  noteOn.note_id = -1;
  noteOn.channel = 3;
  noteOn.key = 60;
  noteOn.velocity = 0.5;  // 63.5 rounds away from zero: 64
  clap_event_note_t noteOff = noteOn;
  noteOff.header = {sizeof noteOff, 70, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_OFF, 0};
  clap_event_midi_t cc{};
  cc.header = {sizeof cc, 5, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
  cc.data[0] = 0xB1;
  cc.data[1] = 7;
  cc.data[2] = 100;
  events.Add(noteOn);
  events.Add(noteOff);
  events.Add(cc);

  OutputEvents first;
  plugin.Process(in, out, 2, 64, events.List(), first.List());
  ASSERT_EQ(first.events.size(), 2u);
  EXPECT_EQ(first.events[0].type, CLAP_EVENT_MIDI);
  EXPECT_EQ(first.events[0].time, 5u);
  EXPECT_EQ(first.events[0].size, 24u);
  EXPECT_EQ(first.events[0].bytes, (std::vector<uint8_t>{0xB1, 7, 100}));
  EXPECT_EQ(first.events[1].type, CLAP_EVENT_NOTE_ON);
  EXPECT_EQ(first.events[1].time, 10u);
  EXPECT_EQ(first.events[1].size, 40u);
  EXPECT_EQ(first.events[1].channel, 3);
  EXPECT_EQ(first.events[1].key, 60);
  EXPECT_DOUBLE_EQ(first.events[1].value, 64 / 127.0);

  OutputEvents second;
  plugin.Process(in, out, 2, 64, nullptr, second.List());
  ASSERT_EQ(second.events.size(), 1u);
  EXPECT_EQ(second.events[0].type, CLAP_EVENT_NOTE_OFF);
  EXPECT_EQ(second.events[0].time, 6u);  // offset 70 in a 64-frame block
  EXPECT_DOUBLE_EQ(second.events[0].value, 0.0);
  plugin.Deactivate();
}

TEST_F(ClapPlugin, StatusFollowsTheHostsTailSupport) {
  for (const bool tailAware : {false, true}) {
    HostOptions options;
    options.tail = tailAware;
    TestHost host(options);
    Instance plugin(host);
    EXPECT_EQ(plugin.Ext<clap_plugin_tail_t>(CLAP_EXT_TAIL)->get(plugin.P()), 0u);
    ASSERT_TRUE(plugin.Activate(48000, 64));
    std::vector<float> a(64, 0.f), b(64, 0.f), c(64), d(64);
    float* in[] = {a.data(), b.data()};
    float* out[] = {c.data(), d.data()};
    for (int block = 0; block < 3; ++block)
      EXPECT_EQ(plugin.Process(in, out, 2, 64), tailAware ? CLAP_PROCESS_TAIL : CLAP_PROCESS_CONTINUE_IF_NOT_QUIET);
    plugin.Deactivate();
  }
}

TEST_F(ClapPlugin, RenderModes) {
  TestHost host;
  Instance plugin(host);
  const auto* render = plugin.Ext<clap_plugin_render_t>(CLAP_EXT_RENDER);
  EXPECT_FALSE(render->has_hard_realtime_requirement(plugin.P()));
  EXPECT_TRUE(render->set(plugin.P(), CLAP_RENDER_REALTIME));
  EXPECT_TRUE(host.logs.empty());
  EXPECT_FALSE(render->set(plugin.P(), 2));
  ASSERT_EQ(host.logs.size(), 1u);
  EXPECT_EQ(host.logs[0], "host called clap_plugin_render.set_mode with an unknown mode : 2");

  // Offline rendering always oversamples: the latency arrives inside activate, without a restart.
  EXPECT_TRUE(render->set(plugin.P(), CLAP_RENDER_OFFLINE));
  const auto* latency = plugin.Ext<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
  EXPECT_EQ(latency->get(plugin.P()), 0u);
  ASSERT_TRUE(plugin.Activate(48000, 256));
  EXPECT_GT(latency->get(plugin.P()), 0u);
  EXPECT_EQ(host.latencyChangedDuringActivate, 1);
  EXPECT_EQ(host.latencyChanged, 1);
  EXPECT_EQ(host.restartRequests, 0);
  plugin.Deactivate();
}

TEST_F(ClapPlugin, StateRoundTripIsBitExact) {
  TestHost host;
  std::vector<uint8_t> saved;
  {
    Instance plugin(host);
    EventList events;
    events.AddParam(kHpf, 4);
    events.AddParam(kLoShelfLevel, 0.3);
    events.AddParam(kMfLevel1, 0.123456789);
    events.AddParam(kGain, 0.9);
    events.AddParam(kOversampling, 1);
    OutputEvents sink;
    plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS)->flush(plugin.P(), events.List(), sink.List());
    ASSERT_TRUE(plugin.SaveState(saved));
  }
  // The state is the ten values in their own units, little-endian doubles in index order.
  ASSERT_EQ(saved.size(), 80u);
  const double expected[10] = {4, 0, -20.0 + 0.3 * 40.0, 2, -20.0 + 0.123456789 * 40.0, 3, 0, 0, -20.0 + 0.9 * 30.0, 1};
  for (int i = 0; i < 10; ++i) {
    double v = 0.0;
    std::memcpy(&v, saved.data() + 8 * i, 8);
    EXPECT_EQ(v, expected[i]) << i;
  }

  Instance restored(host);
  host.rescans.clear();
  ASSERT_TRUE(restored.LoadState(saved, 3));  // a stream that delivers 3 bytes per read
  ASSERT_EQ(host.rescans.size(), 1u);
  EXPECT_EQ(host.rescans[0], CLAP_PARAM_RESCAN_VALUES);
  std::vector<uint8_t> again;
  ASSERT_TRUE(restored.SaveState(again));
  EXPECT_EQ(again, saved);
  EXPECT_DOUBLE_EQ(restored.Value(kMfLevel1), 0.123456789);
}

TEST_F(ClapPlugin, StateThatIsNotExactlyTheValuesIsRefusedWithoutChangingAnything) {
  TestHost host;
  Instance plugin(host);
  std::vector<uint8_t> defaults;
  ASSERT_TRUE(plugin.SaveState(defaults));
  std::vector<uint8_t> changed(80);
  const double values[10] = {5, 3, 20, 5, -20, 6, 7, -7, 10, 1};
  std::memcpy(changed.data(), values, 80);

  const double nan = std::nan("");
  std::vector<uint8_t> withNan = changed;
  std::memcpy(withNan.data() + 8 * 6, &nan, 8);
  std::vector<uint8_t> longer = changed;
  longer.push_back(0);
  const std::vector<uint8_t> shorter(changed.begin(), changed.end() - 1);
  const std::vector<uint8_t> huge(4096, 0);
  for (const std::vector<uint8_t>* bad : {&shorter, static_cast<const std::vector<uint8_t>*>(&longer),
                                          static_cast<const std::vector<uint8_t>*>(&withNan), &huge}) {
    host.rescans.clear();
    EXPECT_FALSE(plugin.LoadState(*bad)) << bad->size();
    std::vector<uint8_t> now;
    ASSERT_TRUE(plugin.SaveState(now));
    EXPECT_EQ(now, defaults) << "a refused load changed parameters (" << bad->size() << " bytes)";
    EXPECT_TRUE(host.rescans.empty());
  }
  EXPECT_FALSE(plugin.LoadState({}));
  ASSERT_TRUE(plugin.LoadState(changed, 1));
  std::vector<uint8_t> now;
  ASSERT_TRUE(plugin.SaveState(now));
  EXPECT_EQ(now, changed);

  // Streams without functions are refused.
  const auto* state = plugin.Ext<clap_plugin_state_t>(CLAP_EXT_STATE);
  clap_istream_t noRead{nullptr, nullptr};
  clap_ostream_t noWrite{nullptr, nullptr};
  EXPECT_FALSE(state->load(plugin.P(), &noRead));
  EXPECT_FALSE(state->save(plugin.P(), &noWrite));
  EXPECT_FALSE(state->load(plugin.P(), nullptr));
  // A stream that claims to have written more than it was offered is a failure.
  clap_ostream_t liar{nullptr, [](const clap_ostream_t*, const void*, uint64_t size) { return int64_t(size + 1); }};
  EXPECT_FALSE(state->save(plugin.P(), &liar));
}

void SwitchOversampling(Instance& plugin, double on) {
  std::vector<float> a(64), b(64), c(64), d(64);
  float* in[] = {a.data(), b.data()};
  float* out[] = {c.data(), d.data()};
  EventList events;
  events.AddParam(kOversampling, on);
  plugin.Process(in, out, 2, 64, events.List());
  plugin.Process(in, out, 2, 64);  // the switch takes effect at a block boundary
}

TEST_F(ClapPlugin, LatencyHandshakeAcrossActivations) {
  TestHost host;
  Instance plugin(host);
  const auto* latency = plugin.Ext<clap_plugin_latency_t>(CLAP_EXT_LATENCY);

  // On during activation: reported inside activate, no restart.
  EventList on;
  on.AddParam(kOversampling, 1);
  OutputEvents sink;
  plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS)->flush(plugin.P(), on.List(), sink.List());
  ASSERT_TRUE(plugin.Activate(48000, 64));
  const uint32_t oversampled = latency->get(plugin.P());
  EXPECT_GT(oversampled, 0u);
  EXPECT_EQ(host.latencyChanged, 1);
  EXPECT_EQ(host.latencyChangedDuringActivate, 1);
  EXPECT_EQ(host.restartRequests, 0);

  // Switched off while active: the old value stays until the host restarts the plug-in; one restart request.
  SwitchOversampling(plugin, 0);
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    plugin.Tick();
  }
  EXPECT_EQ(latency->get(plugin.P()), oversampled);
  EXPECT_EQ(host.restartRequests, 1);
  plugin.Deactivate();
  ASSERT_TRUE(plugin.Activate(48000, 64));
  EXPECT_EQ(latency->get(plugin.P()), 0u);
  EXPECT_EQ(host.latencyChanged, 2);
  EXPECT_EQ(host.latencyChangedDuringActivate, 2);

  // On and off again before the host restarts: nothing to report at the next activation.
  SwitchOversampling(plugin, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(25));
  plugin.Tick();
  SwitchOversampling(plugin, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(25));
  plugin.Tick();
  EXPECT_EQ(host.restartRequests, 2);
  plugin.Deactivate();
  ASSERT_TRUE(plugin.Activate(48000, 64));
  EXPECT_EQ(latency->get(plugin.P()), 0u);
  EXPECT_EQ(host.latencyChanged, 2);
  plugin.Deactivate();
}

// A host's reset while active comes on its audio thread. With oversampling on and audio in flight it neither
// allocates nor locks, and silence after it comes out exactly silent. When a switch is still pending at the
// reset, the reset reports the new latency from the audio thread: the adapter keeps it for the next activation
// and asks for a main-thread callback, again without allocation or lock, and that callback asks the host to
// restart the plug-in.
TEST_F(ClapPlugin, ResetOnTheAudioThreadNeitherAllocatesNorLocks) {
  TestHost host;
  Instance plugin(host);
  const auto* params = plugin.Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
  const auto* latency = plugin.Ext<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
  EventList on;
  on.AddParam(kOversampling, 1);
  OutputEvents sink;
  params->flush(plugin.P(), on.List(), sink.List());
  ASSERT_TRUE(plugin.Activate(48000, 256));
  const uint32_t oversampled = latency->get(plugin.P());
  ASSERT_GT(oversampled, 0u);

  std::vector<float> l = TestSignal(256, 0.0), r = TestSignal(256, 1.0), outL(256), outR(256);
  float* in[] = {l.data(), r.data()};
  float* out[] = {outL.data(), outR.data()};
  for (int b = 0; b < 8; ++b) plugin.Process(in, out, 2, 256);

  const auto resetOnAudioThread = [&] {
    host.inAudio = true;
    quorl_test::CountingScope scope;
    plugin.P()->reset(plugin.P());
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_EQ(scope.locks(), 0);
    host.inAudio = false;
  };
  resetOnAudioThread();
  std::fill(l.begin(), l.end(), 0.0f);
  std::fill(r.begin(), r.end(), 0.0f);
  for (size_t b = 0; b < 8 + oversampled / 256; ++b) {
    plugin.Process(in, out, 2, 256);
    for (size_t i = 0; i < 256; ++i) ASSERT_TRUE(outL[i] == 0.0f && outR[i] == 0.0f) << "block " << b << ", " << i;
  }
  EXPECT_EQ(host.restartRequests, 0);

  EventList off;
  off.AddParam(kOversampling, 0);
  host.inAudio = true;
  params->flush(plugin.P(), off.List(), sink.List());
  host.inAudio = false;
  const int callbacks = host.callbackRequests.load();
  resetOnAudioThread();
  EXPECT_EQ(host.callbackRequests.load(), callbacks + 1);
  EXPECT_EQ(host.restartRequests, 0);
  EXPECT_EQ(latency->get(plugin.P()), oversampled);  // the host learns the new one when it restarts the plug-in
  plugin.P()->on_main_thread(plugin.P());
  EXPECT_EQ(host.restartRequests, 1);
  plugin.Deactivate();
  ASSERT_TRUE(plugin.Activate(48000, 256));
  EXPECT_EQ(latency->get(plugin.P()), 0u);
  plugin.Deactivate();

  // The counter reaches into the loaded library: activating with another block size sizes new buffers there.
  quorl_test::CountingScope scope;
  ASSERT_TRUE(plugin.Activate(48000, 4096));
  EXPECT_GT(scope.allocations(), 0);
}

TEST_F(ClapPlugin, NoTimerIsRegisteredBeforeTheHostKnowsTheExtensions) {
  // The host refuses any registration made before it looked up clap.timer-support, as the reference host does.
  HostOptions options;
  options.lookUpExtensionsAfterInit = false;
  TestHost host(options);
  Instance plugin(host);
  ASSERT_TRUE(plugin.Valid());
  EXPECT_TRUE(host.timers.empty());
  EXPECT_GE(host.callbackRequests.load(), 1);  // init asked for the main-thread callback that starts the timer
  EXPECT_TRUE(host.misuse.empty());
  plugin.Ext<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
  plugin.P()->on_main_thread(plugin.P());
  ASSERT_EQ(host.timers.size(), 1u);
  EXPECT_EQ(host.timerPeriods[host.timers[0]], 20u);
  plugin.P()->on_main_thread(plugin.P());
  EXPECT_EQ(host.timers.size(), 1u);  // started once
  EXPECT_TRUE(host.misuse.empty()) << host.misuse.front();
}

TEST_F(ClapPlugin, TheIdleTimerStartsAtTheFirstOfCallbackActivationOrEditor) {
  enum class First { Callback, Activation, Editor };
  for (First first : {First::Callback, First::Activation, First::Editor}) {
    HostOptions options;
    options.gui = true;
    TestHost host(options);
    {
      Instance plugin(host);
      EXPECT_TRUE(host.timers.empty());
      const clap_plugin_t* p = plugin.P();
      switch (first) {
        case First::Callback: p->on_main_thread(p); break;
        case First::Activation: ASSERT_TRUE(plugin.Activate(48000, 256)); break;
        case First::Editor: ASSERT_TRUE(plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI)->create(p, kNativeWindowApi, false)); break;
      }
      ASSERT_EQ(host.timers.size(), 1u) << static_cast<int>(first);
      // The later occasions find it running.
      p->on_main_thread(p);
      plugin.Deactivate();
      ASSERT_TRUE(plugin.Activate(44100, 128));
      EXPECT_EQ(host.timers.size(), 1u);
      plugin.Deactivate();
    }
    EXPECT_TRUE(host.timers.empty());  // unregistered on destroy
    EXPECT_TRUE(host.misuse.empty());
  }
}

TEST_F(ClapPlugin, IdleTicksDeliverHostValuesToTheEditorQueueAndLatency) {
  // Every tick the idle timer exists for still happens: a latency change found by a tick is told to the host.
  TestHost host;
  Instance plugin(host);
  const clap_plugin_t* p = plugin.P();
  p->on_main_thread(p);
  ASSERT_EQ(host.timers.size(), 1u);
  ASSERT_TRUE(plugin.Activate(48000, 256));
  const auto* latency = plugin.Ext<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
  EXPECT_EQ(latency->get(p), 0u);
  EventList events;
  events.AddParam(kOversampling, 1.0);
  std::vector<float> l(256, 0.f), r(256, 0.f);
  float* io[] = {l.data(), r.data()};
  plugin.Process(io, io, 2, 256, events.List());
  const int restarts = host.restartRequests;
  std::this_thread::sleep_for(std::chrono::milliseconds(25));  // one idle period
  plugin.Tick();
  EXPECT_EQ(host.restartRequests, restarts + 1);
  plugin.Deactivate();
  ASSERT_TRUE(plugin.Activate(48000, 256));
  EXPECT_GT(latency->get(p), 0u);
  plugin.Deactivate();
}

TEST_F(ClapPlugin, WithoutHostTimersTheCallbackRequesterStartsAtTheFirstCallback) {
  HostOptions options;
  options.timerSupport = false;
  TestHost host(options);
  int afterDestroy = 0;
  {
    Instance plugin(host);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(host.callbackRequests.load(), 1);  // only the one made at init
    plugin.P()->on_main_thread(plugin.P());
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_GE(host.callbackRequests.load(), 3);
    plugin.P()->on_main_thread(plugin.P());
  }
  afterDestroy = host.callbackRequests.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(host.callbackRequests.load(), afterDestroy);
}

TEST_F(ClapPlugin, GuiWithoutAnXServerOpensNoView) {
  HostOptions options;
  options.gui = true;
  TestHost host(options);
  Instance plugin(host);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  ASSERT_NE(gui, nullptr);
  const clap_plugin_t* p = plugin.P();
  // The editor embeds in the system's own windows only.
#if defined(_WIN32)
  const char* native = "win32";
  const char* foreign = "x11";
#else
  const char* native = "x11";
  const char* foreign = "win32";
#endif
  EXPECT_TRUE(gui->is_api_supported(p, native, false));
  EXPECT_FALSE(gui->is_api_supported(p, native, true));
  EXPECT_FALSE(gui->is_api_supported(p, foreign, false));
  EXPECT_FALSE(gui->is_api_supported(p, nullptr, false));
  const char* api = nullptr;
  bool floating = false;
  EXPECT_FALSE(gui->get_preferred_api(p, &api, &floating));
  EXPECT_FALSE(gui->create(p, native, true));
  ASSERT_TRUE(gui->create(p, native, false));
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(gui->get_size(p, &w, &h));
  EXPECT_EQ(w, 664u);
  EXPECT_EQ(h, 215u);
  w = 100;
  h = 1000;
  ASSERT_TRUE(gui->adjust_size(p, &w, &h));
  EXPECT_EQ(w, 221u);
  EXPECT_EQ(h, 645u);
  EXPECT_FALSE(gui->can_resize(p));
  clap_gui_resize_hints_t hints{};
  EXPECT_FALSE(gui->get_resize_hints(p, &hints));
  EXPECT_TRUE(gui->set_scale(p, 2.0));
  EXPECT_FALSE(gui->show(p));  // no parent yet
  clap_window_t win32{};
  win32.api = "win32";
  win32.ptr = reinterpret_cast<void*>(0x1234);
  EXPECT_FALSE(gui->set_parent(p, &win32));
  clap_window_t none{};
  none.api = "x11";
  none.x11 = 0;
  EXPECT_FALSE(gui->set_parent(p, &none));
  EXPECT_FALSE(gui->set_parent(p, nullptr));
  clap_window_t x11{};
  x11.api = "x11";
  x11.x11 = 0x1234;
  // Without an X server the window host opens no view, so no parent is kept either. (With a server and a real
  // parent the editor opens: tests/graphics_x11.)
  {
    const quorl_test::ScopedEnvironment noDisplay("DISPLAY", nullptr);
    EXPECT_FALSE(gui->set_parent(p, &x11));
    EXPECT_FALSE(gui->show(p));
  }
  EXPECT_FALSE(gui->set_transient(p, &none));
  EXPECT_TRUE(gui->hide(p));
  gui->destroy(p);
}

}  // namespace
}  // namespace ondrell::test
