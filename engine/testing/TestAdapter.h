#pragma once

#include "core/IPluginAPIBase.h"
#include "core/IPluginProcessor.h"

#include <vector>

namespace ondrell::testing {

// What a test passes to the plug-in constructor: nothing, there is no host.
struct CreationArgs
{
};

// A stand-in format adapter for tests and benchmarks, so that the plug-in class can be constructed, activated,
// automated, processed and idled without a host. It derives as the real adapters do (API base first, processor
// second), drives the hooks in the order the adapters call them and records the latencies reported to it and the
// editor's gestures (begin, value, end) that a host would be told about.
// Threads: Activate/SetParameterFromMainThread/Idle/editor on the test's main thread, Process/SetParameterFromHost on its audio thread.
class TestAdapter : public IPluginAPIBase, public IPluginProcessor
{
public:
  TestAdapter(const Config& config, const CreationArgs& args);
  ~TestAdapter() override;

  // What the editor told the host, in order.
  struct HostNotice
  {
    enum Kind
    {
      Begin,
      Value,
      End,
    };
    Kind kind;
    int paramIdx;
    double normalised; // for Value
  };

  bool SendMidiMsg(const MidiMsg& msg) override;
  void SetLatency(int samples) override;
  void BeginParamEdit(int paramIdx) override { mHostNotices.push_back({HostNotice::Begin, paramIdx, 0.0}); }
  void EndParamEdit(int paramIdx) override { mHostNotices.push_back({HostNotice::End, paramIdx, 0.0}); }
  void InformHostOfParamValue(int paramIdx, double normalised) override
  {
    mHostNotices.push_back({HostNotice::Value, paramIdx, normalised});
  }

  // Activation as the adapters do it: rate, block size and offline flag, then OnActivate, OnParamsReset and
  // OnReset.
  void Activate(double sampleRate, int blockSize, bool renderingOffline = false);
  // A parameter change from the host (audio thread, before the next block) or from the editor or a state load
  // (main thread): the value is stored, then announced.
  void SetParameterFromHost(int paramIdx, double value);
  void SetParameterFromMainThread(int paramIdx, double value);
  // One block with 64-bit buffers; the first nInputs / nOutputs channel slots are connected. Inputs and outputs
  // may be the same buffers (processing in place).
  void Process(double* const* inputs, double* const* outputs, int nInputs, int nOutputs, int nFrames);
  // One idle tick's hook.
  void Idle() { OnIdle(); }
  // A host's reset while active (CLAP's reset, on the audio thread): OnReset alone, settings unchanged.
  void Reset() { OnReset(); }

  int LatencyReports() const { return mLatencyReports; }
  int LastReportedLatency() const { return mLastReportedLatency; }
  const std::vector<HostNotice>& HostNotices() const { return mHostNotices; }
  void ClearHostNotices() { mHostNotices.clear(); }

private:
  std::vector<HostNotice> mHostNotices;
  int mLatencyReports = 0;
  int mLastReportedLatency = 0;
};

} // namespace ondrell::testing
