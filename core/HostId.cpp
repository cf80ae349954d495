#include "core/HostId.h"

#include <array>
#include <utility>

namespace ondrell {

namespace {

// Tested in this order: the first match wins, so "wavelab elements" comes before "wavelab", and a name holding
// "live" is Live unless one of the eight texts before it matched.
constexpr std::array<std::pair<std::string_view, HostId>, 45> kHostTexts{{
    {"reaper", HostId::Reaper},
    {"protools", HostId::ProTools},
    {"cubase", HostId::Cubase},
    {"nuendo", HostId::Nuendo},
    {"cakewalk", HostId::Cakewalk},
    {"vegas", HostId::Vegas},
    {"fruity", HostId::Fruity},
    {"samplitude", HostId::Samplitude},
    {"live", HostId::Live},
    {"tracktion", HostId::Tracktion},
    {"ntracks", HostId::NTracks},
    {"melodyne", HostId::Melodyne},
    {"vstmanlib", HostId::VstManLib},
    {"aulab", HostId::AULab},
    {"forte", HostId::Forte},
    {"chainer", HostId::Chainer},
    {"audition", HostId::Audition},
    {"orion", HostId::Orion},
    {"bias", HostId::Bias},
    {"sawstudio", HostId::SAWStudio},
    {"logic", HostId::Logic},
    {"garageband", HostId::GarageBand},
    {"digital", HostId::Digital},
    {"audiomulch", HostId::AudioMulch},
    {"presonus", HostId::Presonus},
    {"vst3plugintesthost", HostId::Vst3TestHost},
    {"ardour", HostId::Ardour},
    {"renoise", HostId::Renoise},
    {"openmpt", HostId::OpenMPT},
    {"wavelab elements", HostId::WaveLabElements},
    {"wavelab", HostId::WaveLab},
    {"twistedwave", HostId::TwistedWave},
    {"bitwig studio", HostId::Bitwig},
    {"reason", HostId::Reason},
    {"gwvst", HostId::GWVst},
    {"waveform", HostId::Waveform},
    {"audacity", HostId::Audacity},
    {"acoustica", HostId::Acoustica},
    {"plugindoctor", HostId::PluginDoctor},
    {"izotope rx", HostId::IZotopeRX},
    {"savihost", HostId::SAVIHost},
    {"blue cat's vst host", HostId::BlueCat},
    {"mixbus", HostId::Mixbus},
    {"standalone", HostId::Standalone},
    {"www", HostId::Web},
}};

}  // namespace

HostId IdentifyHostName(std::string_view name) {
  std::array<char, kMaxHostNameMatchLength> lower{};
  const size_t length = name.size() < lower.size() ? name.size() : lower.size();
  for (size_t i = 0; i < length; ++i) {
    const char c = name[i];
    lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  const std::string_view lowered(lower.data(), length);
  for (const auto& [text, id] : kHostTexts) {
    if (lowered.find(text) != std::string_view::npos) return id;
  }
  return HostId::UnknownHost;
}

}  // namespace ondrell
