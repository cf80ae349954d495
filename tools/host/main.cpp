// quorl-host: a command-line host for audio plug-ins (CLAP and VST 2.4). Lists plug-ins and parameters, sets parameters,
// renders audio files, saves and loads state, reports latency and measures magnitude responses.

#include "tools/host/AudioFile.h"
#include "tools/host/Bench.h"
#include "tools/host/PluginFormat.h"
#include "tools/host/Render.h"
#include "tools/host/Response.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using namespace ondrell::host;

namespace {

const char kUsage[] =
    "usage: quorl-host COMMAND PLUGIN [ARGS] [OPTIONS]   (PLUGIN: a .clap file or a VST2 .so or .dll file)\n"
    "\n"
    "commands:\n"
    "  list     PLUGIN                  the plug-ins the file offers\n"
    "  params   PLUGIN                  parameters with values, ranges and value texts\n"
    "  info     PLUGIN                  audio ports, latency and tail after activation\n"
    "  render   PLUGIN IN OUT           render a WAV/FLAC file (OUT: .wav float, .flac 24-bit)\n"
    "  response PLUGIN                  measure the magnitude response, print a table\n"
    "  bench    PLUGIN                  CPU time to process --seconds of stereo noise at --rate\n"
    "  sweep    OUT                     write a test signal: a logarithmic sine sweep 20 Hz .. 20 kHz\n"
    "\n"
    "options:\n"
    "  --plugin ID             which plug-in of the file (default: the first)\n"
    "  --set NAME=TEXT         set a parameter from its display text (case ignored), e.g. --set \"MF Level 1=6 dB\";\n"
    "                          an unknown name or text stops with what is accepted\n"
    "  --set-value NAME=VALUE  set a parameter to a value in the plug-in's own unit\n"
    "  --load-state FILE       load a saved state before the settings are applied\n"
    "  --save-state FILE       save the state at the end\n"
    "  --block N               block size (default 512)\n"
    "  --offline | --realtime  render mode (default realtime)\n"
    "  --compensate-latency    remove the plug-in's latency from the rendered file\n"
    "  --tail-frames N         render N frames of silence after the input\n"
    "  --64bit                 use 64-bit buffers when the plug-in supports them\n"
    "  --channels N            track channels (response/info; default 2, render: the file's)\n"
    "  --rate HZ               sample rate for response/info (default 48000)\n"
    "  --method sweep|impulse  response measurement (default sweep)\n"
    "  --level DB              test signal level in dBFS (default -20)\n"
    "  --at F1,F2,...          frequencies for the response table\n"
    "  --png FILE              also plot the response as a PNG picture\n"
    "  --points N              points of the plotted curve (default 61)\n"
    "  --seconds S             length of the sweep (default 3) or of the audio bench measures (default 60)\n"
    "  --instances N           bench N instances side by side (e.g. 2 mono instances for stereo)\n";

struct Options {
  std::string command, pluginPath, pluginId, in, out;
  std::vector<std::pair<std::string, std::string>> setTexts, setValues;
  std::string loadState, saveState, png;
  RenderOptions render;
  std::optional<uint32_t> channels;
  double rate = 48000.0;
  ResponseMethod method = ResponseMethod::Sweep;
  double levelDb = -20.0;
  std::vector<double> at;
  int points = 61;
  std::optional<double> seconds;  // per command: sweep 3, bench 60
  uint32_t instances = 1;
};

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "quorl-host: %s\n", message.c_str());
  std::exit(1);
}

double Number(const std::string& text, const char* what) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) Fail(std::string("not a number for ") + what + ": " + text);
  return v;
}

uint32_t Count(const std::string& text, const char* what, uint32_t minimum) {
  const double v = Number(text, what);
  if (v < minimum || v > 1e9 || v != std::floor(v)) Fail(std::string("bad value for ") + what + ": " + text);
  return static_cast<uint32_t>(v);
}

std::pair<std::string, std::string> Assignment(const std::string& text) {
  const auto eq = text.find('=');
  if (eq == std::string::npos || eq == 0) Fail("expected NAME=VALUE, got: " + text);
  return {text.substr(0, eq), text.substr(eq + 1)};
}

Options Parse(int argc, char** argv) {
  Options o;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) Fail("missing value after " + a);
      return argv[++i];
    };
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (a == "--plugin") o.pluginId = next();
    else if (a == "--set") o.setTexts.push_back(Assignment(next()));
    else if (a == "--set-value") o.setValues.push_back(Assignment(next()));
    else if (a == "--load-state") o.loadState = next();
    else if (a == "--save-state") o.saveState = next();
    else if (a == "--block") o.render.blockSize = Count(next(), "--block", 1);
    else if (a == "--offline") o.render.offline = true;
    else if (a == "--realtime") o.render.offline = false;
    else if (a == "--compensate-latency") o.render.compensateLatency = true;
    else if (a == "--tail-frames") o.render.extraFrames = Count(next(), "--tail-frames", 0);
    else if (a == "--64bit") o.render.use64 = true;
    else if (a == "--channels") o.channels = Count(next(), "--channels", 1);
    else if (a == "--rate") o.rate = Count(next(), "--rate", 1000);
    else if (a == "--level") o.levelDb = Number(next(), "--level");
    else if (a == "--png") o.png = next();
    else if (a == "--points") o.points = static_cast<int>(Count(next(), "--points", 2));
    else if (a == "--seconds") o.seconds = Number(next(), "--seconds");
    else if (a == "--instances") o.instances = Count(next(), "--instances", 1);
    else if (a == "--method") {
      const std::string m = next();
      if (m == "sweep") o.method = ResponseMethod::Sweep;
      else if (m == "impulse") o.method = ResponseMethod::Impulse;
      else Fail("unknown method: " + m);
    } else if (a == "--at") {
      std::string list = next();
      size_t start = 0;
      while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        o.at.push_back(Number(list.substr(start, comma - start), "--at"));
        start = comma + 1;
      }
    } else if (a.size() > 1 && a[0] == '-') Fail("unknown option: " + a);
    else positional.push_back(a);
  }
  if (positional.size() < 2) {
    std::fputs(kUsage, stderr);
    std::exit(2);
  }
  o.command = positional[0];
  o.pluginPath = positional[1];
  if (o.command == "sweep") {
    if (positional.size() != 2) Fail("sweep needs one output file");
    o.out = positional[1];
  } else if (o.command == "render") {
    if (positional.size() != 4) Fail("render needs an input and an output file");
    o.in = positional[2];
    o.out = positional[3];
  } else if (positional.size() != 2) {
    Fail("unexpected argument: " + positional[2]);
  }
  return o;
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

const ParamInfo& FindParam(const std::vector<ParamInfo>& params, const std::string& key) {
  for (const auto& p : params)
    if (p.name == key) return p;
  for (const auto& p : params)
    if (Lower(p.name) == Lower(key)) return p;
  char* end = nullptr;
  const unsigned long id = std::strtoul(key.c_str(), &end, 10);
  if (end != key.c_str() && *end == '\0')
    for (const auto& p : params)
      if (p.id == id) return p;
  std::string names;
  for (const auto& p : params) names += (names.empty() ? "" : ", ") + p.name;
  Fail("no parameter named \"" + key + "\"; the parameters are: " + names);
}

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return !f.bad();
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bool(f);
}

std::string ValueText(HostedPlugin& plugin, uint32_t id, double value) {
  std::string text;
  return plugin.ValueToText(id, value, text) ? text : std::string("?");
}

// The host value of a typed text. A stepped parameter takes one of its entries' texts, matched exactly or else
// ignoring case; any other parameter what the plug-in reads. Anything else stops the command with what is accepted.
double ValueFromText(HostedPlugin& plugin, const ParamInfo& p, const std::string& text) {
  if (!p.entryValues.empty()) {
    std::vector<std::string> texts;
    for (double v : p.entryValues) texts.push_back(ValueText(plugin, p.id, v));
    for (size_t k = 0; k < texts.size(); ++k)
      if (texts[k] == text) return p.entryValues[k];
    for (size_t k = 0; k < texts.size(); ++k)
      if (Lower(texts[k]) == Lower(Trim(text))) return p.entryValues[k];
    std::string accepted;
    for (const auto& t : texts) accepted += (accepted.empty() ? "\"" : ", \"") + t + "\"";
    Fail("\"" + text + "\" is not a value of " + p.name + "; accepted: " + accepted);
  }
  double value = 0.0;
  if (!plugin.TextToValue(p.id, text, value))
    Fail("\"" + text + "\" is not a value of " + p.name + "; accepted: a number from " +
         ValueText(plugin, p.id, p.minValue) + " to " + ValueText(plugin, p.id, p.maxValue));
  return value;
}

// Loads the state, then applies every --set/--set-value through the plug-in's flush, as a DAW does with values
// changed while the plug-in is not processing.
void ApplySettings(HostedPlugin& plugin, const Options& o) {
  if (!o.loadState.empty()) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(o.loadState, bytes)) Fail("cannot read " + o.loadState);
    if (!plugin.LoadState(bytes)) Fail("the plug-in refused the state in " + o.loadState);
  }
  const auto params = plugin.Params();
  for (const auto& [name, text] : o.setTexts) {
    const ParamInfo& p = FindParam(params, name);
    plugin.QueueParamValue(p.id, ValueFromText(plugin, p, text));
  }
  for (const auto& [name, text] : o.setValues) {
    const ParamInfo& p = FindParam(params, name);
    const double value = Number(text, p.name.c_str());
    if (value < p.minValue || value > p.maxValue)
      Fail("value " + text + " is outside " + p.name + "'s range " + std::to_string(p.minValue) + " .. " +
           std::to_string(p.maxValue));
    plugin.QueueParamValue(p.id, value);
  }
  plugin.FlushParams();
  plugin.PumpMainThread(0);
}

void PrintParams(HostedPlugin& plugin) {
  for (const auto& p : plugin.Params()) {
    double v = 0.0;
    plugin.GetValue(p.id, v);
    std::printf("%3u  %-20s %-14s value %-10.6g range %g .. %g, default %s%s%s\n", p.id, p.name.c_str(),
                ValueText(plugin, p.id, v).c_str(), v, p.minValue, p.maxValue,
                ValueText(plugin, p.id, p.defaultValue).c_str(), p.stepped ? ", stepped" : "",
                p.automatable ? ", automatable" : "");
    if (p.entryValues.size() >= 2 && p.entryValues.size() <= 24) {
      std::string texts;
      for (double x : p.entryValues) texts += (texts.empty() ? "" : " | ") + ValueText(plugin, p.id, x);
      std::printf("     %-20s texts: %s\n", "", texts.c_str());
    }
  }
}

void PrintRequests(const HostRequests& r) {
  std::printf("host requests: %u restart, %u callback, %u flush, %u latency changed, %u rescan, %u timer ticks\n",
              r.restartRequests, r.callbackRequests, r.flushRequests, r.latencyChanged, r.rescans, r.timerTicks);
}

}  // namespace

// A logarithmic sine sweep from 20 Hz to 20 kHz (or just below Nyquist) at the chosen level.
int WriteSweep(const Options& o) {
  const double seconds = o.seconds.value_or(3.0);
  if (!(seconds > 0.0) || seconds > 3600.0) Fail("--seconds must be between 0 and 3600");
  AudioData audio;
  audio.sampleRate = o.rate;
  const size_t frames = static_cast<size_t>(seconds * o.rate);
  const double f0 = 20.0, f1 = std::min(20000.0, o.rate * 0.45);
  const double k = std::log(f1 / f0) / seconds, amplitude = std::pow(10.0, o.levelDb / 20.0);
  std::vector<double> x(frames);
  for (size_t i = 0; i < frames; ++i) {
    const double t = double(i) / o.rate;
    x[i] = amplitude * std::sin(2.0 * 3.141592653589793 * f0 * (std::exp(k * t) - 1.0) / k);
  }
  audio.channels.assign(o.channels.value_or(2), x);
  std::string error;
  if (!WriteAudioFile(o.out, audio, error)) Fail(error);
  std::printf("wrote %s: %.1f s sweep %.0f Hz .. %.0f Hz at %.1f dBFS, %zu channels, %.0f Hz\n", o.out.c_str(),
              seconds, f0, f1, o.levelDb, audio.channels.size(), o.rate);
  return 0;
}

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  if (o.command == "sweep") return WriteSweep(o);
  std::string error;
  auto library = OpenPluginLibrary(o.pluginPath, error);
  if (!library) Fail(error);
  const auto entries = library->Plugins();
  if (entries.empty()) Fail(o.pluginPath + " offers no plug-in");

  if (o.command == "list") {
    for (const auto& e : entries) {
      std::string features;
      for (const auto& f : e.features) features += (features.empty() ? "" : ", ") + f;
      std::printf("%s\n  name: %s\n  vendor: %s\n  version: %s\n  description: %s\n  features: %s\n", e.id.c_str(),
                  e.name.c_str(), e.vendor.c_str(), e.version.c_str(), e.description.c_str(), features.c_str());
    }
    return 0;
  }

  std::string id = o.pluginId.empty() ? entries[0].id : o.pluginId;
  AudioData input;
  uint32_t channels = o.channels.value_or(2);
  if (o.command == "render") {
    if (!ReadAudioFile(o.in, input, error)) Fail(error);
    channels = o.channels.value_or(static_cast<uint32_t>(input.channels.size()));
  }
  auto plugin = library->Create(id, channels, error);
  if (!plugin) Fail(error);
  ApplySettings(*plugin, o);

  if (o.command == "params") {
    PrintParams(*plugin);
  } else if (o.command == "info") {
    const PortLayout ports = plugin->Ports();
    std::printf("%s (%s)\n  main input: %u channels, main output: %u channels, 64-bit: %s\n", plugin->Name().c_str(),
                plugin->Id().c_str(), ports.inputChannels, ports.outputChannels, ports.supports64 ? "yes" : "no");
    if (!plugin->SetOffline(o.render.offline)) std::printf("  the plug-in refused the render mode\n");
    if (!plugin->Activate(o.rate, o.render.blockSize)) Fail("the plug-in refused to activate");
    plugin->PumpMainThread(50);
    std::printf("  latency: %u samples at %.0f Hz (%s render mode)\n  tail: %u samples\n", plugin->Latency(), o.rate,
                o.render.offline ? "offline" : "realtime", plugin->Tail());
    plugin->Deactivate();
    PrintRequests(plugin->Requests());
  } else if (o.command == "render") {
    AudioData output;
    RenderReport report;
    if (!Render(*plugin, input, output, o.render, report, error)) Fail(error);
    if (!WriteAudioFile(o.out, output, error)) Fail(error);
    std::printf("rendered %zu frames, %zu -> %zu channels, %.0f Hz, block %u, %s mode%s, %s buffers\n", input.Frames(),
                input.channels.size(), output.channels.size(), input.sampleRate, o.render.blockSize,
                o.render.offline ? "offline" : "realtime", report.renderModeAccepted ? "" : " (refused by the plug-in)",
                report.used64 ? "64-bit" : "32-bit");
    std::printf("latency: %u samples%s\n", report.latency,
                o.render.compensateLatency ? " (compensated)" : " (not compensated)");
    if (report.restarts)
      std::printf("the plug-in asked for %u restart(s); latency after the last one: %u samples\n", report.restarts,
                  report.finalLatency);
  } else if (o.command == "response") {
    ResponseOptions ro;
    ro.method = o.method;
    ro.sampleRate = o.rate;
    ro.channels = channels;
    ro.levelDb = o.levelDb;
    ro.render = o.render;
    std::vector<double> table = o.at;
    if (table.empty()) table = {20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 15000, 20000};
    std::vector<ResponsePoint> points;
    if (!MeasureResponse(*plugin, ro, table, points, error)) Fail(error);
    std::printf("%s, %s, %.0f Hz, level %.1f dBFS\n%s", plugin->Name().c_str(),
                o.method == ResponseMethod::Sweep ? "stepped sine sweep" : "impulse", o.rate, o.levelDb,
                FormatResponseTable(points).c_str());
    if (!o.png.empty()) {
      std::vector<ResponsePoint> curve;
      const double top = std::min(20000.0, o.rate / 2.0 * 0.999);
      if (!MeasureResponse(*plugin, ro, LogSpacedFrequencies(20.0, top, o.points), curve, error)) Fail(error);
      if (!WriteResponsePlot(o.png, curve, plugin->Name() + ": magnitude response", error)) Fail(error);
      std::printf("plot written to %s\n", o.png.c_str());
    }
  } else if (o.command == "bench") {
    BenchOptions bo;
    bo.seconds = o.seconds.value_or(60.0);
    bo.sampleRate = o.rate;
    bo.blockSize = o.render.blockSize;
    bo.use64 = o.render.use64;
    // Further instances with the same settings, e.g. two mono instances for a stereo track.
    std::vector<std::unique_ptr<HostedPlugin>> extra;
    std::vector<HostedPlugin*> all{plugin.get()};
    for (uint32_t k = 1; k < o.instances; ++k) {
      extra.push_back(library->Create(id, channels, error));
      if (!extra.back()) Fail(error);
      ApplySettings(*extra.back(), o);
      all.push_back(extra.back().get());
    }
    BenchResult r;
    if (!BenchPlugins(all, bo, r, error)) Fail(error);
    std::printf("%s x%u: %.1f s of %.0f Hz audio, block %u, %s buffers\n", plugin->Name().c_str(), o.instances,
                r.audioSeconds, o.rate, o.render.blockSize, bo.use64 ? "64-bit" : "32-bit");
    std::printf("cpu-seconds %.4f (process %.4f, wall %.4f), %.3f%% of one core, output peak %.3f\n",
                r.threadCpuSeconds, r.processCpuSeconds, r.wallSeconds, 100.0 * r.threadCpuSeconds / r.audioSeconds,
                r.peak);
  } else {
    Fail("unknown command: " + o.command);
  }

  if (!o.saveState.empty()) {
    std::vector<uint8_t> bytes;
    if (!plugin->SaveState(bytes)) Fail("the plug-in could not save its state");
    if (!WriteFile(o.saveState, bytes)) Fail("cannot write " + o.saveState);
    std::printf("state saved to %s (%zu bytes)\n", o.saveState.c_str(), bytes.size());
  }
  return 0;
}
