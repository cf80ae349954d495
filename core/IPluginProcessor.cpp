#include "core/IPluginProcessor.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/Trace.h"

namespace ondrell {

namespace {

constexpr int Dir(RouteDirection direction) { return static_cast<int>(direction); }

// Splits text at sep, skipping empty pieces.
template <typename F>
void ForEachPiece(std::string_view text, char sep, F&& f) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(sep, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) f(text.substr(start, end - start));
    start = end + 1;
  }
}

// "*" is a wildcard; otherwise the whole token must be a positive decimal integer that fits an int.
// Anything else counts 0 channels.
int BusTokenChannels(std::string_view token) {
  if (token == "*") return kWildcardChannels;
  if (token.empty() || token.size() > 10) return 0;
  long value = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value <= INT_MAX ? static_cast<int>(value) : 0;
}

}  // namespace

void ChannelIOConfig::AddBus(RouteDirection direction, int nChannels) {
  mBuses[Dir(direction)].push_back(BusSpec{direction, nChannels});
}

int ChannelIOConfig::NChannelsOnBus(RouteDirection direction, int index) const {
  const auto& buses = Buses(direction);
  return (index >= 0 && index < static_cast<int>(buses.size())) ? buses[static_cast<size_t>(index)].nChannels : 0;
}

int ChannelIOConfig::TotalChannels(RouteDirection direction) const {
  int total = 0;
  for (const BusSpec& bus : Buses(direction)) total += bus.nChannels;
  return total;
}

bool ChannelIOConfig::HasWildcard(RouteDirection direction) const {
  for (const BusSpec& bus : Buses(direction))
    if (bus.nChannels == kWildcardChannels) return true;
  return false;
}

IPluginProcessor::IPluginProcessor(const Config& config)
    : mPluginKind(config.pluginKind),
      mMidiIn(config.midiIn),
      mMidiOut(config.midiOut),
      mMPE(config.mpe),
      mLatency(config.latency) {
  int totalIn = 0, totalOut = 0, busesIn = 0, busesOut = 0;
  ParseChannelIOStr(config.channelIO.c_str(), mIOConfigs, totalIn, totalOut, busesIn, busesOut);
  const int totals[2] = {totalIn, totalOut};
  for (int d = 0; d < 2; ++d) {
    mChannelPointers[d].assign(static_cast<size_t>(totals[d]), nullptr);
    mSlots[d].resize(static_cast<size_t>(totals[d]));
    for (size_t i = 0; i < mSlots[d].size(); ++i) mSlots[d][i].pointerSlot = &mChannelPointers[d][i];
  }
}

IPluginProcessor::~IPluginProcessor() = default;

int IPluginProcessor::ParseChannelIOStr(const char* text, std::vector<ChannelIOConfig>& configs, int& totalInChannels,
                                        int& totalOutChannels, int& totalInBuses, int& totalOutBuses) {
  int added = 0;
  ForEachPiece(text != nullptr ? std::string_view(text) : std::string_view(), ' ', [&](std::string_view piece) {
    ChannelIOConfig config;
    int channelSums[2] = {0, 0};
    const size_t dash = piece.find('-');
    const std::string_view sides[2] = {piece.substr(0, dash),
                                       dash == std::string_view::npos ? std::string_view() : piece.substr(dash + 1)};
    for (int d = 0; d < 2; ++d) {
      ForEachPiece(sides[d], '.', [&](std::string_view token) {
        const int channels = BusTokenChannels(token);
        if (channels != 0) config.AddBus(static_cast<RouteDirection>(d), channels);
        channelSums[d] += channels;
      });
    }
    totalInChannels = std::max(totalInChannels, channelSums[0]);
    totalOutChannels = std::max(totalOutChannels, channelSums[1]);
    totalInBuses = std::max(totalInBuses, config.NBuses(RouteDirection::Input));
    totalOutBuses = std::max(totalOutBuses, config.NBuses(RouteDirection::Output));
    configs.push_back(std::move(config));
    ++added;
  });
  ONDRELL_TRACE("ondrell::IPluginProcessor::ParseChannelIOStr", "%d configurations", added);
  return added;
}

void IPluginProcessor::ProcessBlock(sample** inputs, sample** outputs, int nFrames) {
  if (outputs == nullptr || nFrames <= 0) return;
  const int nIn = NChannels(RouteDirection::Input);
  const int nOut = NChannels(RouteDirection::Output);
  const int nCopy = inputs != nullptr ? std::min(nIn, nOut) : 0;
  for (int c = 0; c < nOut; ++c) {
    sample* out = outputs[c];
    if (out == nullptr) continue;
    const sample* in = c < nCopy ? inputs[c] : nullptr;
    if (in == nullptr)
      std::fill_n(out, nFrames, 0.0);
    else if (in != out)
      std::copy_n(in, nFrames, out);
  }
}

void IPluginProcessor::ProcessMidiMsg(const MidiMsg& msg) { SendMidiMsg(msg); }

bool IPluginProcessor::SendMidiMsgs(std::span<const MidiMsg> msgs) {
  bool all = true;
  for (const MidiMsg& msg : msgs) all = SendMidiMsg(msg) && all;
  return all;
}

std::string IPluginProcessor::MakeBusName(RouteDirection direction, int busIndex, int busCount) const {
  char name[33];
  if (direction == RouteDirection::Input) {
    if (busCount == 1)
      return "Input";
    else if (busCount == 2)
      return busIndex == 0 ? "Main" : "Aux";
    std::snprintf(name, sizeof name, "Input %i", busIndex);
  } else {
    if (busCount == 1) return "Output";
    std::snprintf(name, sizeof name, "Output %i", busIndex);
  }
  return name;
}

void IPluginProcessor::SetLatency(int samples) { mLatency.store(samples, std::memory_order_relaxed); }

void IPluginProcessor::SetTailSize(int samples) { mTailSize.store(samples, std::memory_order_relaxed); }

int IPluginProcessor::CountConnectedChannels(RouteDirection direction) const {
  return static_cast<int>(std::count_if(Slots(direction).begin(), Slots(direction).end(),
                                        [](const ChannelSlot& slot) { return slot.connected; }));
}

bool IPluginProcessor::IsChannelConnected(RouteDirection direction, int index) const {
  return index >= 0 && index < NChannels(direction) && Slots(direction)[static_cast<size_t>(index)].connected;
}

const ChannelIOConfig* IPluginProcessor::GetIOConfig(int index) const {
  return (index >= 0 && index < NIOConfigs()) ? &mIOConfigs[static_cast<size_t>(index)] : nullptr;
}

int IPluginProcessor::MaxBusCount(RouteDirection direction, int* configIndex) const {
  int maxCount = 0;
  int maxIndex = 0;
  for (int i = 0; i < NIOConfigs(); ++i) {
    const int count = mIOConfigs[static_cast<size_t>(i)].NBuses(direction);
    if (count >= maxCount) {
      maxCount = count;
      maxIndex = i;
    }
  }
  if (configIndex != nullptr) *configIndex = maxIndex;
  return maxCount;
}

bool IPluginProcessor::LegalIO(int nInputChannels, int nOutputChannels) const {
  const auto matches = [](const ChannelIOConfig& config, RouteDirection direction, int n) {
    return n < 0 || config.HasWildcard(direction) || config.TotalChannels(direction) == n;
  };
  return std::any_of(mIOConfigs.begin(), mIOConfigs.end(), [&](const ChannelIOConfig& config) {
    return matches(config, RouteDirection::Input, nInputChannels) &&
           matches(config, RouteDirection::Output, nOutputChannels);
  });
}

void IPluginProcessor::AimAtScratch(ChannelSlot& slot) {
  *slot.pointerSlot = slot.scratch.empty() ? nullptr : slot.scratch.data();
}

void IPluginProcessor::SetChannelsConnected(RouteDirection direction, int start, int count, bool connected) {
  auto& slots = mSlots[Dir(direction)];
  const long end = std::min(static_cast<long>(start) + count, static_cast<long>(slots.size()));
  for (long i = std::max(start, 0); i < end; ++i) {
    ChannelSlot& slot = slots[static_cast<size_t>(i)];
    slot.connected = connected;
    if (!connected) {
      slot.hostBuffer = nullptr;
      AimAtScratch(slot);
    }
  }
}

void IPluginProcessor::AttachBuffers(RouteDirection direction, int start, int count, sample* const* buffers) {
  if (buffers == nullptr) return;
  auto& slots = mSlots[Dir(direction)];
  const long end = std::min(static_cast<long>(start) + count, static_cast<long>(slots.size()));
  int next = 0;
  for (long i = std::max(start, 0); i < end; ++i) {
    ChannelSlot& slot = slots[static_cast<size_t>(i)];
    if (!slot.connected) continue;
    *slot.pointerSlot = buffers[next++];
    slot.hostBuffer = nullptr;
  }
}

void IPluginProcessor::AttachBuffers(RouteDirection direction, int start, int count, float* const* buffers,
                                     int nFrames) {
  if (buffers == nullptr) return;
  auto& slots = mSlots[Dir(direction)];
  const long end = std::min(static_cast<long>(start) + count, static_cast<long>(slots.size()));
  int next = 0;
  for (long i = std::max(start, 0); i < end; ++i) {
    ChannelSlot& slot = slots[static_cast<size_t>(i)];
    if (!slot.connected) continue;
    float* hostBuffer = buffers[next++];
    AimAtScratch(slot);
    if (direction == RouteDirection::Input) {
      // Never write past the scratch buffer, even when a caller breaks the block-size contract.
      const int frames = std::min(nFrames, static_cast<int>(slot.scratch.size()));
      if (hostBuffer != nullptr)
        for (int f = 0; f < frames; ++f) slot.scratch[static_cast<size_t>(f)] = hostBuffer[f];
    } else {
      slot.hostBuffer = hostBuffer;
    }
  }
}

void IPluginProcessor::ProcessBuffers(int nFrames) {
  sample** inputs = NChannels(RouteDirection::Input) > 0 ? ChannelPointers(RouteDirection::Input) : nullptr;
  ProcessBlock(inputs, ChannelPointers(RouteDirection::Output), nFrames);
}

void IPluginProcessor::ProcessBuffers32(int nFrames) {
  ProcessBuffers(nFrames);
  ConvertOutputs32(nFrames, false);
}

void IPluginProcessor::ProcessBuffersAccumulating32(int nFrames) {
  ProcessBuffers(nFrames);
  ConvertOutputs32(nFrames, true);
}

void IPluginProcessor::ConvertOutputs32(int nFrames, bool accumulate) {
  for (ChannelSlot& slot : mSlots[Dir(RouteDirection::Output)]) {
    const sample* source = *slot.pointerSlot;
    if (!slot.connected || slot.hostBuffer == nullptr || source == nullptr) continue;
    if (accumulate)
      for (int f = 0; f < nFrames; ++f) slot.hostBuffer[f] += static_cast<float>(source[f]);
    else
      for (int f = 0; f < nFrames; ++f) slot.hostBuffer[f] = static_cast<float>(source[f]);
  }
}

void IPluginProcessor::SetBlockSize(int n) {
  if (n < 0 || n == mBlockSize) return;
  for (auto& slots : mSlots) {
    for (ChannelSlot& slot : slots) {
      const sample* old = slot.scratch.empty() ? nullptr : slot.scratch.data();
      slot.scratch.assign(static_cast<size_t>(n), 0.0);
      // Whatever pointed at the old scratch buffer would dangle after the reallocation.
      if (!slot.connected || (old != nullptr && *slot.pointerSlot == old)) AimAtScratch(slot);
    }
  }
  mBlockSize = n;
}

void IPluginProcessor::RestrictToStereo() {
  SetChannelsConnected(RouteDirection::Input, 2, NChannels(RouteDirection::Input) - 2, false);
  SetChannelsConnected(RouteDirection::Output, 2, NChannels(RouteDirection::Output) - 2, true);
}

}  // namespace ondrell
