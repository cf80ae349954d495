// QuorlEQ.clap through the command-line host's library (and binary): measured responses against the cookbook
// formulas, latency compensation measured with an impulse, state files, and an outside scanner.

#include "tests/clap/ClapTestHost.h"
#include "tests/support/TestSystem.h"
#include "tools/host/AudioFile.h"
#include "tools/host/PluginFormat.h"
#include "tools/host/Render.h"
#include "tools/host/Response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>

namespace ondrell::test {
namespace {

using namespace ondrell::host;

std::unique_ptr<HostedPlugin> Load(std::unique_ptr<PluginLibrary>& library, uint32_t channels = 2) {
  std::string error;
  library = OpenPluginLibrary(ClapPath(), error);
  EXPECT_TRUE(library) << error;
  if (!library) return nullptr;
  auto plugin = library->Create("com.ondrell-audio.quorleq", channels, error);
  EXPECT_TRUE(plugin) << error;
  return plugin;
}

void SetByText(HostedPlugin& plugin, const char* name, const char* text) {
  for (const auto& p : plugin.Params())
    if (p.name == name) {
      double v = 0.0;
      ASSERT_TRUE(plugin.TextToValue(p.id, text, v));
      plugin.QueueParamValue(p.id, v);
      plugin.FlushParams();
      return;
    }
  FAIL() << "no parameter " << name;
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

TEST(HostTool, MeasuredPeakingBandMatchesTheCookbook) {
  std::unique_ptr<PluginLibrary> library;
  auto plugin = Load(library);
  ASSERT_TRUE(plugin);
  SetByText(*plugin, "MF Level 1", "6 dB");  // 240 Hz by default
  const double rate = 48000.0;
  for (const ResponseMethod method : {ResponseMethod::Sweep, ResponseMethod::Impulse}) {
    ResponseOptions options;
    options.method = method;
    options.sampleRate = rate;
    options.levelDb = -40.0;  // small enough that the sine shaper is linear to 1e-8
    options.render.blockSize = 256;
    std::vector<ResponsePoint> points;
    std::string error;
    const std::vector<double> freqs = {50, 120, 240, 480, 1000, 5000};
    ASSERT_TRUE(MeasureResponse(*plugin, options, freqs, points, error)) << error;
    ASSERT_EQ(points.size(), freqs.size());
    for (const auto& p : points) {
      // The band adds 6/80 of the shaped input ahead of its filter; the output adds 0.01 of it unfiltered.
      const double expected =
          20.0 * std::log10(std::abs(0.01 + (1.0 + 6.0 / 80.0) * Peaking(p.frequency, 240.0, 0.7, 6.0, rate)));
      EXPECT_NEAR(p.gainDb, expected, 0.02) << p.frequency << " Hz, method " << int(method);
    }
  }
}

TEST(HostTool, CompensatedRenderPutsAnImpulseBackAtTimeZero) {
  std::unique_ptr<PluginLibrary> library;
  auto plugin = Load(library, 1);
  ASSERT_TRUE(plugin);
  SetByText(*plugin, "Oversampling", "on");
  AudioData in;
  in.sampleRate = 48000.0;
  in.channels.assign(1, std::vector<double>(8192, 0.0));
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
    ASSERT_EQ(out.channels.size(), 1u);
    size_t peak = 0;
    for (size_t i = 0; i < out.channels[0].size(); ++i)
      if (std::abs(out.channels[0][i]) > std::abs(out.channels[0][peak])) peak = i;
    const double expectedPeak = compensate ? 1000.0 : 1000.0 + report.latency;
    EXPECT_NEAR(double(peak), expectedPeak, 1.0) << "latency " << report.latency;
  }
}

TEST(HostTool, CommandLineRenderAndStateFiles) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "quorl-host-test";
  std::filesystem::create_directories(dir);
  AudioData tone;
  tone.sampleRate = 44100.0;
  tone.channels.assign(2, std::vector<double>(4410));
  for (size_t i = 0; i < 4410; ++i) tone.channels[0][i] = tone.channels[1][i] = 0.25 * std::sin(0.1 * double(i));
  std::string error;
  ASSERT_TRUE(WriteAudioFile((dir / "in.wav").string(), tone, error)) << error;

  // The child host unloads the plug-in at exit; LeakSanitizer then reports 8 bytes that only the unloaded
  // module still referenced, which it cannot attribute. Leaks of the plug-in itself are checked in-process.
  const quorl_test::ScopedEnvironment asan("ASAN_OPTIONS", "detect_leaks=0");
  const std::string plugin = ClapPath();
  // The Windows build's libsndfile carries no FLAC codec; WAV is written by both.
#if defined(_WIN32)
  const std::string outName = "out.wav";
#else
  const std::string outName = "out.flac";
#endif
  ASSERT_EQ(quorl_test::RunProgram(QUORL_HOST_PATH,
                                   {"render", plugin, (dir / "in.wav").string(), (dir / outName).string(), "--set",
                                    "Gain=-6 dB", "--block", "77", "--offline", "--save-state",
                                    (dir / "s.bin").string()},
                                   (dir / "log.txt").string()),
            0);
  AudioData out;
  ASSERT_TRUE(ReadAudioFile((dir / outName).string(), out, error)) << error;
  ASSERT_EQ(out.channels.size(), 2u);
  EXPECT_EQ(out.Frames(), 4410u);
  EXPECT_EQ(std::filesystem::file_size(dir / "s.bin"), 80u);

  // The saved state holds the gain: loading it shows -6.0 dB.
  ASSERT_EQ(quorl_test::RunProgram(QUORL_HOST_PATH, {"params", plugin, "--load-state", (dir / "s.bin").string()},
                                   (dir / "params.txt").string()),
            0);
  std::ifstream listing(dir / "params.txt");
  const std::string text((std::istreambuf_iterator<char>(listing)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Gain                 -6.0 dB"), std::string::npos) << text;
  EXPECT_NE(text.find("HPF                  Off"), std::string::npos) << text;
}

// --set stops the command on a name or text that is not the plug-in's, with a message that lists what is accepted;
// display texts match ignoring case. Both plug-in files, through the binary.
TEST(HostTool, SetRefusesUnknownNamesAndTextsWithWhatIsAccepted) {
  struct Case {
    const char* set;
    bool accepted;
    const char* shown;  // in the listing when accepted, in the message otherwise
  };
  const Case cases[] = {
      {"Oversampling=On", true, "Oversampling         on "},
      {"oversampling=ON", true, "Oversampling         on "},
      {"HPF=80 hz", true, "HPF                  80 Hz "},
      {"Gain=-3 dB", true, "Gain                 -3.0 dB "},
      {"Oversampling=bogus", false, "\"bogus\" is not a value of Oversampling; accepted: \"off\", \"on\""},
      {"HPF=2", false, "accepted: \"Off\", \"30 Hz\", \"50 Hz\", \"80 Hz\", \"160 Hz\", \"300 Hz\""},
      {"Gain=abc", false, "\"abc\" is not a value of Gain; accepted: a number from -20.0 dB to 10.0 dB"},
      {"Gain=1.5junk", false, "is not a value of Gain"},
      {"Gian=1", false, "no parameter named \"Gian\"; the parameters are: HPF, LoShelf Freq, LoShelf Level,"},
  };
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "quorl-host-set";
  std::filesystem::create_directories(dir);
  for (const char* plugin : {ClapPath(), QUORL_VST2_PATH}) {
    for (const Case& c : cases) {
      const std::filesystem::path out = dir / "out.txt";
      const int status =
          quorl_test::RunProgram(QUORL_HOST_PATH, {"params", plugin, "--set", c.set}, out.string(), true);
      std::ifstream file(out);
      const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      EXPECT_EQ(status == 0, c.accepted) << plugin << " " << c.set << "\n" << text;
      EXPECT_NE(text.find(c.shown), std::string::npos) << plugin << " " << c.set << "\n" << text;
    }
  }
}

#if !defined(_WIN32)
TEST(HostTool, QtractorScannerListsThePlugin) {
  const char* scanner = "/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan";
  if (!std::filesystem::exists(scanner)) GTEST_SKIP() << "qtractor is not installed";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "an uninstrumented scanner cannot load a sanitizer build of the plug-in";
#endif
  const std::string command = std::string("printf 'CLAP:%s\\n' '") + ClapPath() + "' | " + scanner;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  ASSERT_EQ(pclose(pipe), 0);
  // CLAP|name|audio ins:outs|midi ins:outs|params ins:outs|...
  EXPECT_NE(output.find("CLAP|Quorl EQ|2:2|0:0|10:0|"), std::string::npos) << output;
}
#endif

}  // namespace
}  // namespace ondrell::test
