#pragma once
#include <cstdint>
#include <string_view>

namespace ondrell {

// The host application, recognised from its name. NotIdentified until the host is known; UnknownHost when the
// name matches nothing.
enum class HostId : int32_t {
  NotIdentified = -1,
  UnknownHost = 0,
  Reaper = 1,
  ProTools = 2,
  Cubase = 3,
  Nuendo = 4,
  Cakewalk = 5,
  Vegas = 6,
  Fruity = 7,
  Samplitude = 8,
  Live = 9,
  Tracktion = 10,
  NTracks = 11,
  Melodyne = 12,
  VstManLib = 13,
  AULab = 14,
  Forte = 15,
  Chainer = 16,
  Audition = 17,
  Orion = 18,
  Bias = 19,
  SAWStudio = 20,
  Logic = 21,
  GarageBand = 22,
  Digital = 23,
  Standalone = 24,
  AudioMulch = 25,
  Presonus = 26,
  Vst3TestHost = 27,
  Ardour = 28,
  Renoise = 29,
  OpenMPT = 30,
  WaveLab = 31,
  WaveLabElements = 32,
  TwistedWave = 33,
  Bitwig = 34,
  Web = 35,
  Reason = 36,
  GWVst = 37,
  Waveform = 38,
  Audacity = 39,
  Acoustica = 40,
  PluginDoctor = 41,
  IZotopeRX = 42,
  SAVIHost = 43,
  BlueCat = 44,
  Mixbus = 45,
};

// Longest part of a host name that takes part in matching; longer names match on their first 255 bytes.
inline constexpr int kMaxHostNameMatchLength = 255;

// Lower-cases (ASCII) the first 255 bytes of name and returns the first table entry, in table order, whose
// matched text occurs in it; UnknownHost when none does (also for an empty name).
HostId IdentifyHostName(std::string_view name);

}  // namespace ondrell
