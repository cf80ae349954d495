#include "engine/Resampler.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ondrell {

namespace {
// libsoxr accepts precisions from 15 to 33 bits; attenuations outside that range are served by the nearest.
constexpr double kMinPrecisionBits = 15.0;
constexpr double kMaxPrecisionBits = 33.0;
// Delay measurement: the converter emits its first blocks well within this many input samples.
constexpr int64_t kMaxProbeInput = int64_t{1} << 20;
constexpr int kProbeBursts = 4;
constexpr size_t kProbeOutput = size_t{1} << 17;
} // namespace

void Resampler::ConverterDeleter::operator()(soxr* converter) const
{
  soxr_delete(converter);
}

Resampler::Resampler(double sourceRate, double destinationRate, int maxInputLength, double transitionBandPercent,
                     double attenuationDb, PhaseResponse phase)
  : mSourceRate(sourceRate)
  , mDestinationRate(destinationRate)
  , mMaxInput(maxInputLength)
  , mTransitionBand(transitionBandPercent)
  , mAttenuation(attenuationDb)
  , mPhase(phase)
{
  Measure();
}

void Resampler::Measure()
{
  if (!(mSourceRate > 0.0) || !(mDestinationRate > 0.0) || mMaxInput < 1)
    return;
  int64_t hold = 0;
  double peak = 0.0;
  if (!MeasureHold(hold) || !MeasurePeak(hold, peak))
    return;
  Start(hold, peak);
}

Resampler::Resampler(LikeTag, const Resampler& like, double sourceRate, double destinationRate, int maxInputLength)
  : mSourceRate(sourceRate)
  , mDestinationRate(destinationRate)
  , mMaxInput(maxInputLength)
  , mTransitionBand(like.mTransitionBand)
  , mAttenuation(like.mAttenuation)
  , mPhase(like.mPhase)
{
  const bool sameRatio = like.mConverter && sourceRate > 0.0 && destinationRate > 0.0 && maxInputLength >= 1
                         && destinationRate / sourceRate == like.mDestinationRate / like.mSourceRate;
  if (sameRatio)
    Start(like.mHold, like.mPeak);
  else
    Measure();
}

std::unique_ptr<Resampler> Resampler::CreateLike(double sourceRate, double destinationRate, int maxInputLength) const
{
  return std::unique_ptr<Resampler>(new Resampler(LikeTag{}, *this, sourceRate, destinationRate, maxInputLength));
}

void Resampler::Start(int64_t hold, double peak)
{
  mConverter = CreateConverter();
  if (!mConverter)
    return;

  mHold = hold;
  mPeak = peak;
  const double ratio = mDestinationRate / mSourceRate;
  mMaxOutPerCall = static_cast<size_t>(std::ceil(mMaxInput * ratio)) + 2;
  mBuffer.assign(2 * (static_cast<size_t>(hold) + mMaxOutPerCall + 64), 0.0);
  mLatencyIn = static_cast<double>(hold) / ratio + peak;

  // libsoxr grows its internal buffers on demand. One long run of silence grows them beyond anything calls of
  // at most the maximum input length need later, so Process never allocates. Silence in leaves the history as
  // empty as a fresh converter's.
  const int64_t warmIn = 4 * static_cast<int64_t>(mMaxInput) + 8192;
  const std::vector<double> silence(static_cast<size_t>(warmIn), 0.0);
  std::vector<double> sink(static_cast<size_t>(std::ceil(warmIn * ratio)) + static_cast<size_t>(hold) + 64);
  size_t consumed = 0;
  size_t produced = 0;
  if (soxr_process(mConverter.get(), silence.data(), silence.size(), &consumed, sink.data(), sink.size(), &produced)
      || consumed != silence.size())
  {
    mConverter.reset();
    return;
  }
  mTotalIn = warmIn;
  mTotalOut = OutputCountAt(warmIn);
  // The stream starts with `hold` zeros, so the converter is always at least as far ahead as the samples handed
  // out and each call can return its full share. Everything up to here is silence and has been handed out.
  const int64_t pending = hold + static_cast<int64_t>(produced) - mTotalOut;
  mRead = 0;
  mWrite = static_cast<size_t>(std::max<int64_t>(pending, 0));
  std::fill(mBuffer.begin(), mBuffer.begin() + static_cast<std::ptrdiff_t>(mWrite), 0.0);
}

Resampler::~Resampler() = default;

Resampler::ConverterPtr Resampler::CreateConverter() const
{
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  quality.precision = std::clamp(mAttenuation / 6.02, kMinPrecisionBits, kMaxPrecisionBits);
  quality.phase_response = mPhase == PhaseResponse::Linear ? 50.0 : 0.0;
  quality.passband_end = std::clamp(1.0 - mTransitionBand / 100.0, 0.01, 0.995);
  quality.stopband_begin = 1.0;
  // 64-bit arithmetic throughout, also where the precision would let libsoxr fall back to 32 bits.
  quality.flags |= SOXR_DOUBLE_PRECISION;
  soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  // The smallest transform sizes keep the block hold-back, and with it the latency, as short as possible.
  runtime.log2_min_dft_size = 8;
  runtime.log2_large_dft_size = 8;

  soxr_error_t error = nullptr;
  ConverterPtr converter(soxr_create(mSourceRate, mDestinationRate, 1, &error, &io, &quality, &runtime));
  if (error)
    converter.reset();
  return converter;
}

int64_t Resampler::OutputCountAt(int64_t totalIn) const
{
  return static_cast<int64_t>(std::floor(static_cast<double>(totalIn) * mDestinationRate / mSourceRate + 1e-9));
}

// Feeds silence, one sample per call, into a converter of its own and records how far the output falls behind
// its due count at worst (`holdOut`, in output samples). The output count depends only on the number of samples
// fed, not on how they are split into calls, so the worst lag seen here bounds every later call pattern; it is
// reached within the first few blocks the converter emits.
bool Resampler::MeasureHold(int64_t& holdOut) const
{
  const ConverterPtr probe = CreateConverter();
  if (!probe)
    return false;

  std::vector<double> out(kProbeOutput);
  int64_t produced = 0;
  int64_t worstLag = 0;
  int bursts = 0;
  const double silence = 0.0;
  for (int64_t t = 1; t <= kMaxProbeInput && bursts < kProbeBursts; ++t)
  {
    size_t consumed = 0;
    size_t got = 0;
    if (soxr_process(probe.get(), &silence, 1, &consumed, out.data(), out.size(), &got) || consumed != 1
        || got == out.size())
      return false;
    if (got > 0)
      ++bursts;
    produced += static_cast<int64_t>(got);
    worstLag = std::max(worstLag, OutputCountAt(t) - produced);
  }
  holdOut = worstLag;
  return bursts == kProbeBursts;
}

// Finds where the converter's own output places the peak of an impulse response, relative to the impulse, in
// input samples (libsoxr aligns its output close to the peak, and may place it a little early). When the
// output is coarser than the input, impulses at each input phase are sent through fresh converters and their
// responses interleaved, so the peak is found to the input sample; a parabola through the neighbours refines it.
bool Resampler::MeasurePeak(int64_t hold, double& peakIn) const
{
  const double ratio = mDestinationRate / mSourceRate;
  const int phases = ratio < 1.0 ? std::max(1, static_cast<int>(std::lround(1.0 / ratio))) : 1;
  const int64_t pad = 256 * static_cast<int64_t>(phases);
  const int64_t length = pad + phases + static_cast<int64_t>(std::ceil((static_cast<double>(hold) + 256.0) / ratio));

  std::vector<std::pair<double, double>> response; // (position in input samples, value)
  std::vector<double> in(static_cast<size_t>(length));
  std::vector<double> out(static_cast<size_t>(std::ceil(length * ratio)) + static_cast<size_t>(hold) + 64);
  for (int phase = 0; phase < phases; ++phase)
  {
    const ConverterPtr probe = CreateConverter();
    if (!probe)
      return false;
    std::fill(in.begin(), in.end(), 0.0);
    const int64_t at = pad + phase;
    in[static_cast<size_t>(at)] = 1.0;
    size_t consumed = 0;
    size_t got = 0;
    if (soxr_process(probe.get(), in.data(), in.size(), &consumed, out.data(), out.size(), &got)
        || consumed != in.size())
      return false;
    for (size_t k = 0; k < got; ++k)
      response.emplace_back(static_cast<double>(k) / ratio - static_cast<double>(at), out[k]);
  }
  if (response.size() < 3)
    return false;

  std::sort(response.begin(), response.end());
  size_t peak = 0;
  for (size_t i = 1; i < response.size(); ++i)
    if (std::fabs(response[i].second) > std::fabs(response[peak].second))
      peak = i;
  peakIn = response[peak].first;
  if (peak > 0 && peak + 1 < response.size())
  {
    const double l = std::fabs(response[peak - 1].second);
    const double m = std::fabs(response[peak].second);
    const double r = std::fabs(response[peak + 1].second);
    const double curvature = l - 2.0 * m + r;
    const double spacing = response[peak + 1].first - response[peak].first;
    if (curvature < 0.0)
      peakIn += 0.5 * (l - r) / curvature * spacing;
  }
  return true;
}

bool Resampler::Feed(const double* input, int length)
{
  size_t offered = static_cast<size_t>(length);
  const double* next = input;
  // With the room kept free below, libsoxr takes all input at once; the loop only guards against a short take.
  for (int attempt = 0; attempt < 4 && offered > 0; ++attempt)
  {
    if (mBuffer.size() - mWrite < mBuffer.size() / 2)
    {
      const size_t pending = mWrite - mRead;
      std::memmove(mBuffer.data(), mBuffer.data() + mRead, pending * sizeof(double));
      mRead = 0;
      mWrite = pending;
    }
    size_t consumed = 0;
    size_t produced = 0;
    if (soxr_process(mConverter.get(), next, offered, &consumed, mBuffer.data() + mWrite, mBuffer.size() - mWrite,
                     &produced))
      return false;
    mWrite += produced;
    next += consumed;
    offered -= consumed;
  }
  return offered == 0;
}

int Resampler::Process(const double* input, int length, double*& output)
{
  output = mBuffer.data() + mRead;
  if (!mConverter || length < 0 || length > mMaxInput || (length > 0 && input == nullptr))
    return 0;

  if (mRead == mWrite)
    mRead = mWrite = 0;
  if (length > 0 && !Feed(input, length))
    return 0;

  mTotalIn += length;
  const int64_t due = OutputCountAt(mTotalIn) - mTotalOut;
  const int64_t count = std::min<int64_t>(due, static_cast<int64_t>(mWrite - mRead));
  output = mBuffer.data() + mRead;
  mRead += static_cast<size_t>(count);
  mTotalOut += count;
  return static_cast<int>(count);
}

} // namespace ondrell
