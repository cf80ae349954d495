#include "engine/Resampler.h"

#include <soxr.h>

#include <algorithm>
#include <array>
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
// Memory measurement: the probe's run of non-zero input (a run rather than one impulse, so that a zero filter tap
// cannot hide the reach), and the least silence that has to follow its last non-zero output.
constexpr int64_t kMemoryProbeRun = 1024;
constexpr int64_t kMemoryProbeSilence = 8192;
constexpr int64_t kMaxCycle = int64_t{1} << 16;
// Clear feeds its silence from here.
constexpr std::array<double, 1024> kSilence{};

// The fewest input samples that yield a whole number of output samples, so that feeding them leaves the input
// lined up with the output grid as before: 1 for upsampling by a whole number, the factor for downsampling by
// one. 1 when there is no such number within reach.
int64_t InputCycle(double ratio)
{
  for (int64_t n = 1; n <= kMaxCycle; ++n)
  {
    const double out = static_cast<double>(n) * ratio;
    if (std::fabs(out - std::round(out)) < 1e-9 * std::max(1.0, out))
      return n;
  }
  return 1;
}
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
  int64_t memory = 0;
  // The hold and memory measurements share one probe (making a converter takes about a millisecond); the first
  // leaves it holding nothing but silence.
  const ConverterPtr probe = CreateConverter();
  int64_t fed = 0;
  int64_t produced = 0;
  if (!probe || !MeasureHold(probe.get(), hold, fed, produced) || !MeasurePeak(hold, peak)
      || !MeasureMemory(probe.get(), fed, produced, hold, memory))
    return;
  Start(hold, peak, memory);
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
    Start(like.mHold, like.mPeak, like.mMemory);
  else
    Measure();
}

std::unique_ptr<Resampler> Resampler::CreateLike(double sourceRate, double destinationRate, int maxInputLength) const
{
  return std::unique_ptr<Resampler>(new Resampler(LikeTag{}, *this, sourceRate, destinationRate, maxInputLength));
}

void Resampler::Start(int64_t hold, double peak, int64_t memory)
{
  mConverter = CreateConverter();
  if (!mConverter)
    return;

  mHold = hold;
  mPeak = peak;
  mMemory = memory;
  const double ratio = mDestinationRate / mSourceRate;
  // The last earlier input reaches output samples up to `memory` input samples later, or one block more when it
  // fell elsewhere within a block, and the stream keeps `hold` produced samples back; a block is never longer
  // than the hold-back, the most the output ever lags. Once silence has moved the handed-out position past all
  // that, everything the converter holds or yields is zero. Whole cycles keep the alignment, one more as margin.
  const int64_t cycle = InputCycle(ratio);
  const int64_t holdIn = static_cast<int64_t>(std::ceil(static_cast<double>(hold + 1) / ratio));
  const int64_t needed = memory + 2 * holdIn;
  mFlush = (needed / cycle + 2) * cycle;
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

// Feeds silence, one sample per call, into a new converter and records how far the output falls behind its due
// count at worst (`holdOut`, in output samples), and how many samples went in and came out. The output count
// depends only on the number of samples fed, not on how they are split into calls, so the worst lag seen here
// bounds every later call pattern; it is reached within the first few blocks the converter emits.
bool Resampler::MeasureHold(soxr* probe, int64_t& holdOut, int64_t& fedOut, int64_t& producedOut) const
{
  std::vector<double> out(kProbeOutput);
  int64_t fed = 0;
  int64_t produced = 0;
  int64_t worstLag = 0;
  int bursts = 0;
  const double silence = 0.0;
  while (fed < kMaxProbeInput && bursts < kProbeBursts)
  {
    size_t consumed = 0;
    size_t got = 0;
    if (soxr_process(probe, &silence, 1, &consumed, out.data(), out.size(), &got) || consumed != 1
        || got == out.size())
      return false;
    ++fed;
    if (got > 0)
      ++bursts;
    produced += static_cast<int64_t>(got);
    worstLag = std::max(worstLag, OutputCountAt(fed) - produced);
  }
  holdOut = worstLag;
  fedOut = fed;
  producedOut = produced;
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

// Sends a short run of ones through the probe, which has taken `fed` samples of silence and given `produced`,
// then silence, and finds the last output sample that is not exactly zero: how many input samples after the last
// non-zero input earlier input still reaches the output (`memoryIn`). libsoxr's block transforms spread rounding
// over whole blocks, so this covers its buffers as well as its filters, and it holds for where the probe's last
// input fell within a block; input that ends elsewhere in a block reaches up to one block further. Measuring ends
// once the silence since that last output is twice as long as the reach found plus kMemoryProbeSilence; a
// converter whose output does not die out within kMaxProbeInput fails.
bool Resampler::MeasureMemory(soxr* probe, int64_t fed, int64_t produced, int64_t hold, int64_t& memoryIn) const
{
  const double ratio = mDestinationRate / mSourceRate;
  const int64_t holdIn = static_cast<int64_t>(std::ceil(static_cast<double>(hold) / ratio));
  constexpr size_t kChunk = 4096;
  const std::vector<double> ones(kChunk, 1.0);
  const std::vector<double> silence(kChunk, 0.0);
  std::vector<double> out(static_cast<size_t>(std::ceil(static_cast<double>(kChunk) * ratio))
                          + static_cast<size_t>(hold) + 64);
  const int64_t runEnd = fed + kMemoryProbeRun;
  int64_t lastNonZero = -1;
  while (fed < runEnd + kMaxProbeInput)
  {
    const bool inRun = fed < runEnd;
    const size_t n = inRun ? static_cast<size_t>(std::min<int64_t>(runEnd - fed, kChunk)) : kChunk;
    size_t consumed = 0;
    size_t got = 0;
    if (soxr_process(probe, (inRun ? ones : silence).data(), n, &consumed, out.data(), out.size(), &got)
        || consumed != n)
      return false;
    for (size_t k = 0; k < got; ++k)
      if (out[k] != 0.0)
        lastNonZero = produced + static_cast<int64_t>(k);
    produced += static_cast<int64_t>(got);
    fed += static_cast<int64_t>(n);

    const int64_t reach =
      std::max<int64_t>(static_cast<int64_t>(std::ceil(static_cast<double>(lastNonZero + 1) / ratio)) - runEnd, 0);
    // Input the output has caught up with: the converter keeps up to `hold` samples back.
    const int64_t silentSince = fed - holdIn - runEnd - reach;
    if (!inRun && silentSince >= 2 * reach + kMemoryProbeSilence)
    {
      memoryIn = reach;
      return true;
    }
  }
  return false;
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

void Resampler::Clear()
{
  if (!mConverter)
    return;
  const int chunk = std::min(mMaxInput, static_cast<int>(kSilence.size()));
  double* dropped = nullptr;
  for (int64_t left = mFlush; left > 0; left -= chunk)
    Process(kSilence.data(), static_cast<int>(std::min<int64_t>(chunk, left)), dropped);
}

} // namespace ondrell
