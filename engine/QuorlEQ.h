#pragma once

#include "engine/EqEngine.h"
#include "engine/QuorlEQBase.h"

namespace ondrell {
// The class is built once per adapter; the inline namespace keeps the builds' symbols apart.
inline namespace QUORL_ADAPTER_NAMESPACE {

// The Quorl EQ plug-in class: its configuration record, its ten parameters, the hooks through which the
// format adapter drives the equaliser engine, and the editor it installs (editor/QuorlEQEditor.h).
// Threads: main thread builds, resets (CLAP may reset on audio) and idles; OnParamChange any thread; ProcessBlock audio; owns the engine.
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
  // Sends every parameter to the new editor, then applies the stored display scale.
  void OnEditorOpened() override;
  // Stores the editor's display scale for the next editor to open at.
  void OnEditorClosed() override;

  const EqEngine& Engine() const { return mEngine; }

private:
  void DefineParams();

  EqEngine mEngine;
};

} // namespace QUORL_ADAPTER_NAMESPACE
} // namespace ondrell
