#pragma once

#include "engine/QuorlEQ.h"
#include "tests/engine/SignalTools.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

// Drives one QuorlEQ through the stand-in adapter the way a host would: activation, parameter changes and
// blocks of 64-bit audio.
namespace quorl_test {

class PluginRig
{
public:
  PluginRig() : mPlugin(std::make_unique<ondrell::QuorlEQ>(ondrell::CreationArgs{})) {}

  ondrell::QuorlEQ& plugin() { return *mPlugin; }
  const ondrell::EqEngine& engine() const { return mPlugin->Engine(); }

  void Activate(double rate, int blockSize, bool offline = false) { mPlugin->Activate(rate, blockSize, offline); }
  void Set(int param, double value) { mPlugin->SetParameterFromHost(param, value); }

  // Processes `in` (one vector per channel, all of the same length) in blocks of `block` frames, out of place.
  std::vector<std::vector<double>> Run(const std::vector<std::vector<double>>& in, int block)
  {
    const size_t channels = in.size();
    std::vector<std::vector<double>> out(channels, std::vector<double>(in[0].size(), 0.0));
    for (size_t at = 0; at < in[0].size(); at += static_cast<size_t>(block))
    {
      const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), in[0].size() - at));
      double* inputs[2] = {nullptr, nullptr};
      double* outputs[2] = {nullptr, nullptr};
      for (size_t c = 0; c < channels; ++c)
      {
        inputs[c] = const_cast<double*>(in[c].data()) + at;
        outputs[c] = out[c].data() + at;
      }
      mPlugin->Process(inputs, outputs, static_cast<int>(channels), static_cast<int>(channels), n);
    }
    return out;
  }

  std::vector<double> RunMono(const std::vector<double>& in, int block) { return Run({in}, block)[0]; }

  // One block of n frames on both channels of `buffers`, from `at` on, in place.
  void BlockInPlace(std::vector<std::vector<double>>& buffers, size_t at, int n)
  {
    double* io[2] = {buffers[0].data() + at, buffers.size() > 1 ? buffers[1].data() + at : nullptr};
    const int channels = static_cast<int>(buffers.size());
    mPlugin->Process(io, io, channels, channels, n);
  }

private:
  std::unique_ptr<ondrell::QuorlEQ> mPlugin;
};

// The output of the chain when no band is active: the input plus the shaped share of the output stage.
inline double DefaultChain(double x)
{
  return 0.01 * std::sin(std::min(std::max(x, -1.0), 1.0)) + x * 1.0;
}

} // namespace quorl_test
