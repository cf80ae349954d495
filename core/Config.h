#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace ondrell {

// Packs four characters into the int that hosts use as a unique or maker ID ("Qreq" -> 0x51726571).
constexpr int32_t FourCharCode(const char (&code)[5]) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
                              static_cast<uint32_t>(static_cast<unsigned char>(code[3])));
}

// Versions are packed as (major << 16) | (minor << 8) | patch, minor and patch one byte each.
constexpr int32_t PackVersion(int major, int minor, int patch) {
  return static_cast<int32_t>((static_cast<uint32_t>(major) << 16) | (static_cast<uint32_t>(minor & 0xFF) << 8) |
                              static_cast<uint32_t>(patch & 0xFF));
}

// The plug-in's static description, built by the plug-in class and passed to IPluginAPIBase and
// IPluginProcessor at construction. Fields in the order of the configuration record.
struct Config {
  int nParams = 0;                              // parameters to create
  int nPresets = 1;                             // preset slots
  std::string channelIO;                        // supported channel configurations, e.g. "1-1 2-2"
  std::string pluginName;
  std::string productName;
  std::string makerName;
  int32_t version = 0;                          // packed, see PackVersion
  int32_t uniqueId = 0;                         // four characters, see FourCharCode
  int32_t makerId = 0;                          // four characters
  int latency = 0;                              // initial latency in samples
  bool midiIn = false;                          // accepts MIDI input
  bool midiOut = false;                         // produces MIDI output
  bool mpe = false;                             // supports MIDI polyphonic expression
  bool stateChunks = false;                     // hosts are told the state is saved as a chunk
  int pluginKind = 0;                           // 0 effect, 1 instrument
  bool hasEditor = false;
  int editorWidth = 0;                          // design size in points
  int editorHeight = 0;
  std::array<int, 2> editorWidthLimits{0, 0};   // smallest and largest width, either order
  std::array<int, 2> editorHeightLimits{0, 0};  // smallest and largest height, either order
  std::string bundleId;
  std::string appGroupId;
};

}  // namespace ondrell
