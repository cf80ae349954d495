#pragma once

#include "engine/EqEngine.h"
#include "engine/QuorlEQBase.h"

namespace ondrell {
// The class is built once per adapter; the inline namespace keeps the builds' symbols apart.
inline namespace QUORL_ADAPTER_NAMESPACE {

// The Quorl EQ plug-in class: its configuration record, its ten parameters and the hooks through which the
// format adapter drives the equaliser engine.
// Threads: constructed and destroyed on the host's main thread; OnParamChange on any thread; ProcessBlock on
// the audio thread; OnReset while no block runs; OnIdle on the main thread. Owns the engine (sections and
// oversampler).
class QuorlEQ final : public QuorlEQBase
{
public:
  // Hosts identify the plug-in by these two codes; they never change.
  static constexpr const char kUniqueId[5] = "QrlE";
  static constexpr const char kMakerId[5] = "Ondr";

  enum Param
  {
    kHighPassFreq = 0,
    kLowShelfFreq,
    kLowShelfLevel,
    kMid1Freq,
    kMid1Level,
    kMid2Freq,
    kMid2Level,
    kHighShelfLevel,
    kGain,
    kOversampling,
    kNumParams,
  };

  static Config MakeConfig();

  explicit QuorlEQ(const CreationArgs& args);
  ~QuorlEQ() override;

  using IEditorDelegate::OnParamChange;
  void OnParamChange(int paramIdx) override;
  void ProcessBlock(sample** inputs, sample** outputs, int nFrames) override;
  void OnReset() override;
  void OnIdle() override;

  const EqEngine& Engine() const { return mEngine; }

private:
  void DefineParams();

  EqEngine mEngine;
};

} // namespace QUORL_ADAPTER_NAMESPACE
} // namespace ondrell
