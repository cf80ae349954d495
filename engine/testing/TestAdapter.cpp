#include "engine/testing/TestAdapter.h"

namespace ondrell::testing {

TestAdapter::TestAdapter(const Config& config, const CreationArgs&)
  : IPluginAPIBase(config, PluginApi::CLAP)
  , IPluginProcessor(config)
{
}

TestAdapter::~TestAdapter() = default;

bool TestAdapter::SendMidiMsg(const MidiMsg&)
{
  return false;
}

void TestAdapter::SetLatency(int samples)
{
  IPluginProcessor::SetLatency(samples);
  ++mLatencyReports;
  mLastReportedLatency = samples;
}

void TestAdapter::Activate(double sampleRate, int blockSize, bool renderingOffline)
{
  SetSampleRate(sampleRate);
  SetBlockSize(blockSize);
  SetRenderingOffline(renderingOffline);
  OnActivate(true);
  OnParamsReset(ParamChangeSource::Reset);
  OnReset();
}

void TestAdapter::SetParameterFromHost(int paramIdx, double value)
{
  IParam* param = GetParam(paramIdx);
  if (param && param->SetValue(value))
    OnParamChange(paramIdx, ParamChangeSource::Host, -1);
}

void TestAdapter::SetParameterFromMainThread(int paramIdx, double value)
{
  IParam* param = GetParam(paramIdx);
  if (param && param->SetValue(value))
    OnParamChange(paramIdx, ParamChangeSource::UI, -1);
}

void TestAdapter::Process(double* const* inputs, double* const* outputs, int nInputs, int nOutputs, int nFrames)
{
  SetChannelsConnected(RouteDirection::Input, 0, NChannels(RouteDirection::Input), false);
  SetChannelsConnected(RouteDirection::Output, 0, NChannels(RouteDirection::Output), false);
  SetChannelsConnected(RouteDirection::Input, 0, nInputs, true);
  SetChannelsConnected(RouteDirection::Output, 0, nOutputs, true);
  AttachBuffers(RouteDirection::Input, 0, nInputs, inputs);
  AttachBuffers(RouteDirection::Output, 0, nOutputs, outputs);
  ProcessBuffers(nFrames);
}

} // namespace ondrell::testing
