// QuorlEQ.so through the command-line host's VST2 implementation: listing, text conversions, a measured response
// against the cookbook formula, a latency-compensated render and state round trips.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "tools/host/AudioFile.h"
#include "tools/host/PluginFormat.h"
#include "tools/host/Render.h"
#include "tools/host/Response.h"

namespace ondrell::test {
namespace {

using namespace ondrell::host;

std::unique_ptr<HostedPlugin> Load(std::unique_ptr<PluginLibrary>& library) {
  std::string error;
  library = OpenPluginLibrary(QUORL_VST2_PLUGIN_PATH, error);
  EXPECT_TRUE(library) << error;
  if (!library) return nullptr;
  auto plugin = library->Create("QrlE", 2, error);
  EXPECT_TRUE(plugin) << error;
  return plugin;
}

uint32_t IdOf(HostedPlugin& plugin, const std::string& name) {
  for (const auto& p : plugin.Params())
    if (p.name == name) return p.id;
  ADD_FAILURE() << "no parameter " << name;
  return 0;
}

void SetByText(HostedPlugin& plugin, const std::string& name, const std::string& text) {
  double v = 0.0;
  const uint32_t id = IdOf(plugin, name);
  ASSERT_TRUE(plugin.TextToValue(id, text, v)) << name << " = " << text;
  plugin.QueueParamValue(id, v);
  plugin.FlushParams();
}

// RBJ cookbook peaking section at f, evaluated on the unit circle, independently of the plug-in's code.
std::complex<double> Peaking(double f, double f0, double q, double gainDb, double rate) {
  const double a = std::pow(10.0, gainDb / 40.0);
  const double w0 = 2.0 * std::numbers::pi * f0 / rate;
  const double alpha = std::sin(w0) / (2.0 * q);
  const double b0 = 1 + alpha * a, b1 = -2 * std::cos(w0), b2 = 1 - alpha * a;
  const double a0 = 1 + alpha / a, a1 = -2 * std::cos(w0), a2 = 1 - alpha / a;
  const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * f / rate), z2 = z1 * z1;
  return (b0 + b1 * z1 + b2 * z2) / (a0 + a1 * z1 + a2 * z2);
}

TEST(VstHostTool, ListsThePluginAndConvertsTexts) {
  std::string error;
  auto library = OpenPluginLibrary(QUORL_VST2_PLUGIN_PATH, error);
  ASSERT_TRUE(library) << error;
  const auto entries = library->Plugins();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].id, "QrlE");
  EXPECT_EQ(entries[0].name, "Quorl EQ");
  EXPECT_EQ(entries[0].vendor, "Ondrell Audio");
  auto plugin = library->Create("QrlE", 2, error);
  ASSERT_TRUE(plugin) << error;
  EXPECT_EQ(plugin->Params().size(), 10u);
  double v = 0.0;
  ASSERT_TRUE(plugin->TextToValue(IdOf(*plugin, "MF 2 Freq"), "640 Hz", v));
  EXPECT_NEAR(v, 2.0 / 6.0, 1e-12);
  std::string text;
  ASSERT_TRUE(plugin->ValueToText(IdOf(*plugin, "Gain"), 0.5, text));
  EXPECT_EQ(text, "-5.0 dB");
  EXPECT_EQ(library->Create("Nope", 2, error), nullptr);
}

TEST(VstHostTool, MeasuredPeakingBandMatchesTheCookbook) {
  std::unique_ptr<PluginLibrary> library;
  auto plugin = Load(library);
  ASSERT_TRUE(plugin);
  SetByText(*plugin, "MF Level 1", "6 dB");  // 240 Hz by default
  const double rate = 48000.0;
  ResponseOptions options;
  options.sampleRate = rate;
  options.levelDb = -40.0;  // small enough that the sine shaper is linear
  options.render.blockSize = 256;
  std::vector<ResponsePoint> points;
  std::string error;
  const std::vector<double> freqs = {50, 240, 1000, 5000};
  ASSERT_TRUE(MeasureResponse(*plugin, options, freqs, points, error)) << error;
  ASSERT_EQ(points.size(), freqs.size());
  for (const auto& p : points) {
    // The band adds 6/80 of the shaped input ahead of its filter; the output adds 0.01 of it unfiltered.
    const double expected =
        20.0 * std::log10(std::abs(0.01 + (1.0 + 6.0 / 80.0) * Peaking(p.frequency, 240.0, 0.7, 6.0, rate)));
    EXPECT_NEAR(p.gainDb, expected, 0.02) << p.frequency << " Hz";
  }
}

TEST(VstHostTool, CompensatedRenderPutsAnImpulseBackAtTimeZero) {
  std::unique_ptr<PluginLibrary> library;
  auto plugin = Load(library);
  ASSERT_TRUE(plugin);
  SetByText(*plugin, "Oversampling", "on");
  AudioData in;
  in.sampleRate = 48000.0;
  in.channels.assign(2, std::vector<double>(8192, 0.0));
  in.channels[0][1000] = 0.5;
  for (const bool compensate : {false, true}) {
    RenderOptions options;
    options.blockSize = 100;
    options.compensateLatency = compensate;
    AudioData out;
    RenderReport report;
    std::string error;
    ASSERT_TRUE(Render(*plugin, in, out, options, report, error)) << error;
    ASSERT_GT(report.latency, 0u);
    size_t peak = 0;
    for (size_t i = 0; i < out.channels[0].size(); ++i)
      if (std::abs(out.channels[0][i]) > std::abs(out.channels[0][peak])) peak = i;
    const double expectedPeak = compensate ? 1000.0 : 1000.0 + report.latency;
    EXPECT_NEAR(double(peak), expectedPeak, 1.0) << "latency " << report.latency;
  }
}

// An offline render is an offline render in both formats: the same output and latency as through the CLAP plug-in
// (which the host switches to offline before activating it), and not the real-time rendering.
TEST(VstHostTool, OfflineRenderIsTheSameAsThroughClap) {
  AudioData in;
  in.sampleRate = 48000.0;
  in.channels.assign(2, std::vector<double>(6000, 0.0));
  for (size_t i = 0; i < 6000; ++i) {
    in.channels[0][i] = 0.6 * std::sin(0.031 * double(i)) + 0.2 * std::sin(0.77 * double(i));
    in.channels[1][i] = 0.5 * std::sin(0.013 * double(i));
  }
  struct Result {
    AudioData out;
    RenderReport report;
  };
  auto render = [&](const char* path, const char* id, bool offline) {
    Result r;
    std::string error;
    auto library = OpenPluginLibrary(path, error);
    EXPECT_TRUE(library) << error;
    if (!library) return r;
    auto plugin = library->Create(id, 2, error);
    EXPECT_TRUE(plugin) << error;
    if (!plugin) return r;
    SetByText(*plugin, "MF Level 1", "6 dB");
    SetByText(*plugin, "HiShelf Level", "-4 dB");
    RenderOptions options;
    options.offline = offline;
    options.use64 = true;
    options.blockSize = 256;
    options.compensateLatency = true;
    EXPECT_TRUE(Render(*plugin, in, r.out, options, r.report, error)) << error;
    return r;
  };
  const Result vstOffline = render(QUORL_VST2_PLUGIN_PATH, "QrlE", true);
  const Result clapOffline = render(QUORL_CLAP_PLUGIN_PATH, "com.ondrell-audio.quorleq", true);
  const Result vstRealtime = render(QUORL_VST2_PLUGIN_PATH, "QrlE", false);
  ASSERT_EQ(vstOffline.out.channels.size(), 2u);
  ASSERT_EQ(clapOffline.out.channels.size(), 2u);
  EXPECT_EQ(vstOffline.report.latency, clapOffline.report.latency);
  EXPECT_EQ(vstOffline.report.restarts, 0u);  // the offline set-up came with the activation
  double difference = 0.0, fromRealtime = 0.0;
  for (size_t c = 0; c < 2; ++c)
    for (size_t i = 0; i < in.channels[c].size(); ++i) {
      difference = std::max(difference, std::abs(vstOffline.out.channels[c][i] - clapOffline.out.channels[c][i]));
      fromRealtime = std::max(fromRealtime, std::abs(vstOffline.out.channels[c][i] - vstRealtime.out.channels[c][i]));
    }
  // VST2 carries parameter values as floats: 6 dB arrives as 5.9999995 dB.
  EXPECT_LT(difference, 1e-5);
  EXPECT_GT(fromRealtime, 100.0 * difference) << fromRealtime;  // real time does not oversample: the offline render is another one
}

TEST(VstHostTool, StateRoundTrip) {
  std::unique_ptr<PluginLibrary> library;
  auto plugin = Load(library);
  ASSERT_TRUE(plugin);
  SetByText(*plugin, "HiShelf Level", "-7.5 dB");
  SetByText(*plugin, "HPF", "160 Hz");
  std::vector<uint8_t> state;
  ASSERT_TRUE(plugin->SaveState(state));
  EXPECT_EQ(state.size(), 88u);

  std::unique_ptr<PluginLibrary> otherLibrary;
  auto other = Load(otherLibrary);
  ASSERT_TRUE(other);
  ASSERT_TRUE(other->LoadState(state));
  std::string text;
  double v = 0.0;
  ASSERT_TRUE(other->GetValue(IdOf(*other, "HiShelf Level"), v));
  ASSERT_TRUE(other->ValueToText(IdOf(*other, "HiShelf Level"), v, text));
  EXPECT_EQ(text, "-7.5 dB");
  ASSERT_TRUE(other->GetValue(IdOf(*other, "HPF"), v));
  ASSERT_TRUE(other->ValueToText(IdOf(*other, "HPF"), v, text));
  EXPECT_EQ(text, "160 Hz");
  state.resize(40);
  EXPECT_FALSE(other->LoadState(state));
}

}  // namespace
}  // namespace ondrell::test
