#include "engine/HalfBandFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ondrell {

using simd::Lanes2;

namespace {

constexpr double kPi = std::numbers::pi;
// Orders beyond this would only come from settings far outside the presets; the coefficients stay meaningful.
constexpr int kMaxEllipticOrder = 101;
constexpr int kMaxFirLength = 65535;

double Clamp(double value, double low, double high)
{
  return std::isfinite(value) ? std::clamp(value, low, high) : low;
}

// Modified Bessel function of the first kind, order 0, by its power series.
double BesselI0(double x)
{
  double sum = 1.0;
  double term = 1.0;
  const double half = 0.5 * x;
  for (int k = 1; k < 500; ++k)
  {
    term *= half / k;
    const double square = term * term;
    sum += square;
    if (square < sum * 1e-21)
      break;
  }
  return sum;
}

} // namespace

HalfBandFilter HalfBandFilter::Elliptic(double passEdge, double attenuationDb)
{
  const double edge = Clamp(passEdge, 0.01, 0.249);
  const double attenuation = Clamp(attenuationDb, 20.0, 300.0);

  // The analog prototype's selectivity after the bilinear transform. The stop edge mirrors the pass edge, so
  // k = tan(pi fp) / tan(pi (1/2 - fp)) = tan^2(pi fp).
  const double t = std::tan(kPi * edge);
  const double k = t * t;
  const double kComplement = std::sqrt(1.0 - k * k);
  // The nome q of k, from the series in e = (1 - sqrt k') / (2 (1 + sqrt k')).
  const double root = std::sqrt(kComplement);
  const double e = 0.5 * (1.0 - root) / (1.0 + root);
  const double e4 = e * e * e * e;
  const double q = e * (1.0 + e4 * (2.0 + e4 * (15.0 + 150.0 * e4)));
  // Power complementarity (|H(w)|^2 + |H(pi - w)|^2 = 1) ties the pass-band ripple to the stop band: with
  // A = 10^(attenuation / 20) the discrimination is 1 / (A^2 - 1)^2, and the degree equation of elliptic filters,
  // N = ln(16 / discrimination) / ln(1 / q) to within q^4, gives the least order. Half-band orders are odd.
  const double aSquaredMinusOne = std::pow(10.0, attenuation / 10.0) - 1.0;
  const double needed = (std::log(16.0) + 2.0 * std::log(aSquaredMinusOne)) / -std::log(q);
  int order = std::clamp(static_cast<int>(std::ceil(needed)), 3, kMaxEllipticOrder);
  if (order % 2 == 0)
    ++order;

  // The poles of the filter lie on the imaginary axis of z^2; each gives one all-pass coefficient. Their positions
  // w_i = sqrt(k) sn(2 K i / N, k) come from the theta-function series in the nome, and
  // a_i = (1 - c_i) / (1 + c_i) with c_i = sqrt((1 - k w_i^2)(1 - w_i^2 / k)) / (1 + w_i^2).
  const int count = (order - 1) / 2;
  const double qQuarter = std::pow(q, 0.25);
  std::vector<double> coefficients;
  coefficients.reserve(static_cast<size_t>(count));
  for (int i = 1; i <= count; ++i)
  {
    double numerator = 0.0;
    double denominator = 0.0;
    for (int m = 0; m < 12; ++m)
    {
      const double sign = m % 2 == 0 ? 1.0 : -1.0;
      numerator += sign * std::pow(q, m * (m + 1.0)) * std::sin((2 * m + 1) * kPi * i / order);
      if (m > 0)
        denominator += sign * std::pow(q, static_cast<double>(m) * m) * std::cos(2 * m * kPi * i / order);
    }
    const double w = 2.0 * qQuarter * numerator / (1.0 + 2.0 * denominator);
    const double w2 = w * w;
    const double c = std::sqrt((1.0 - k * w2) * (1.0 - w2 / k)) / (1.0 + w2);
    coefficients.push_back((1.0 - c) / (1.0 + c));
  }
  std::sort(coefficients.begin(), coefficients.end());

  HalfBandFilter filter;
  for (size_t i = 0; i < coefficients.size(); ++i)
    (i % 2 == 0 ? filter.mBranch0 : filter.mBranch1).push_back(coefficients[i]);
  filter.mState0.assign(filter.mBranch0.size() + 1, Lanes2::Zero());
  filter.mState1.assign(filter.mBranch1.size() + 1, Lanes2::Zero());
  return filter;
}

HalfBandFilter HalfBandFilter::LinearPhase(double passEdge, double attenuationDb)
{
  const double edge = Clamp(passEdge, 0.01, 0.249);
  const double attenuation = Clamp(attenuationDb, 20.0, 300.0);

  // Kaiser's window: its shape parameter and the length for the transition width, rounded up to 4K + 3 taps,
  // the lengths whose every other tap from the middle is zero and whose outermost taps are not. Kaiser's length
  // formula is an estimate; designing for 10 dB more keeps the result above the attenuation asked for.
  const double transition = 0.5 - 2.0 * edge;
  const double design = attenuation + 10.0;
  const double beta = design > 50.0 ? 0.1102 * (design - 8.7)
                      : design > 21.0 ? 0.5842 * std::pow(design - 21.0, 0.4) + 0.07886 * (design - 21.0)
                                      : 0.0;
  const int least = static_cast<int>(std::ceil((design - 7.95) / (14.36 * transition))) + 1;
  const int half = std::clamp(least, 3, kMaxFirLength) / 4; // the least K with 4K + 3 >= least
  const int length = 4 * half + 3;
  const int middle = 2 * half + 1;

  HalfBandFilter filter;
  filter.mLinearPhase = true;
  filter.mHalf = half;
  filter.mTaps.assign(static_cast<size_t>(length), 0.0);
  const double window0 = BesselI0(beta);
  double oddSum = 0.0;
  // Taps at odd distances from the middle, computed once for both sides so that the filter is exactly symmetric.
  for (int offset = 1; offset <= middle; offset += 2)
  {
    const double ratio = static_cast<double>(offset) / middle;
    const double window = BesselI0(beta * std::sqrt(std::max(0.0, 1.0 - ratio * ratio))) / window0;
    const double tap = std::sin(0.5 * kPi * offset) / (kPi * offset) * window;
    filter.mTaps[static_cast<size_t>(middle - offset)] = tap;
    filter.mTaps[static_cast<size_t>(middle + offset)] = tap;
    oddSum += 2.0 * tap;
  }
  // Exactly unity gain at 0 Hz: the taps beside the middle sum to 1/2.
  for (double& tap : filter.mTaps)
    tap *= 0.5 / oddSum;
  filter.mTaps[static_cast<size_t>(middle)] = 0.5;
  for (int m = 0; m < length; m += 2)
    filter.mEven.push_back(filter.mTaps[static_cast<size_t>(m)]);
  // Room for either direction's history and one chunk of input.
  filter.mLine.assign(static_cast<size_t>(length - 1 + 2 * kFirChunk), Lanes2::Zero());
  return filter;
}

double HalfBandFilter::Delay() const
{
  if (mLinearPhase)
    return (static_cast<double>(mTaps.size()) - 1.0) / 2.0;
  // A section (a + z^-2) / (1 + a z^-2) delays by 2 (1 - a) / (1 + a) at 0 Hz. Both branches have the same phase
  // throughout the pass band, and the filter's phase is their mean.
  double branch0 = 0.0;
  double branch1 = 1.0;
  for (double a : mBranch0)
    branch0 += 2.0 * (1.0 - a) / (1.0 + a);
  for (double a : mBranch1)
    branch1 += 2.0 * (1.0 - a) / (1.0 + a);
  return 0.5 * (branch0 + branch1);
}

int HalfBandFilter::SettlingLength(double fraction) const
{
  if (mLinearPhase)
    return static_cast<int>(mTaps.size() / 2) + 1;
  // A section's pole lies at -a per sample of the lower rate.
  double slowest = 0.0;
  for (const auto* branch : {&mBranch0, &mBranch1})
    for (double a : *branch)
      slowest = std::max(slowest, std::fabs(a));
  if (slowest <= 0.0 || !(fraction > 0.0 && fraction < 1.0))
    return 1;
  return static_cast<int>(std::ceil(std::log(fraction) / std::log(slowest)));
}

bool HalfBandFilter::HasFiniteState() const
{
  const auto finite = [](Lanes2 v) { return std::isfinite(v.Lane0()) && std::isfinite(v.Lane1()); };
  bool all = finite(mHeldOdd);
  for (const auto* values : {&mState0, &mState1, &mLine})
    for (const Lanes2& v : *values)
      all = all && finite(v);
  return all;
}

void HalfBandFilter::Clear()
{
  std::fill(mState0.begin(), mState0.end(), Lanes2::Zero());
  std::fill(mState1.begin(), mState1.end(), Lanes2::Zero());
  mHeldOdd = Lanes2::Zero();
  std::fill(mLine.begin(), mLine.end(), Lanes2::Zero());
}

// One branch at the lower rate. A section's previous input is the previous output of the section before it, so a
// branch of K sections keeps K + 1 values: state[0] the previous input, state[i + 1] section i's previous output.
// Each section computes y = a (x - y[-1]) + x[-1].
Lanes2 HalfBandFilter::RunBranch(const std::vector<double>& coefficients, std::vector<Lanes2>& state, Lanes2 x)
{
  Lanes2 in = x;
  const size_t count = coefficients.size();
  for (size_t i = 0; i < count; ++i)
  {
    const Lanes2 out = Lanes2::Both(coefficients[i]) * (in - state[i + 1]) + state[i];
    state[i] = in;
    in = out;
  }
  state[count] = in;
  return in;
}

void HalfBandFilter::Upsample(const double* input, int n, double* output)
{
  if (mLinearPhase)
  {
    UpsampleFir(input, n, output);
    return;
  }
  // The zero-stuffed input filtered by 2 H: even outputs are A0 of the input, odd ones A1.
  for (int i = 0; i < n; ++i)
  {
    const Lanes2 x = Lanes2::Load(input + 2 * i);
    RunBranch(mBranch0, mState0, x).Store(output + 4 * i);
    RunBranch(mBranch1, mState1, x).Store(output + 4 * i + 2);
  }
}

void HalfBandFilter::Downsample(const double* input, int n, double* output)
{
  if (mLinearPhase)
  {
    DownsampleFir(input, n, output);
    return;
  }
  // H filtered, every other output kept: A0 of the even inputs plus A1 of the odd ones, one frame late.
  const Lanes2 half = Lanes2::Both(0.5);
  for (int i = 0; i < n; ++i)
  {
    const Lanes2 even = Lanes2::Load(input + 4 * i);
    const Lanes2 odd = Lanes2::Load(input + 4 * i + 2);
    const Lanes2 y = half * (RunBranch(mBranch0, mState0, even) + RunBranch(mBranch1, mState1, mHeldOdd));
    mHeldOdd = odd;
    y.Store(output + 2 * i);
  }
}

namespace {

// One branch of K sections with its coefficients and state in locals the compiler keeps in registers: the
// arithmetic of RunBranch.
template <int K>
struct FixedBranch
{
  Lanes2 a[K > 0 ? K : 1];
  Lanes2 s[K + 1];

  void Load(const std::vector<double>& coefficients, const std::vector<Lanes2>& state)
  {
    for (int i = 0; i < K; ++i)
      a[i] = Lanes2::Both(coefficients[static_cast<size_t>(i)]);
    for (int i = 0; i <= K; ++i)
      s[i] = state[static_cast<size_t>(i)];
  }
  void Save(std::vector<Lanes2>& state) const
  {
    for (int i = 0; i <= K; ++i)
      state[static_cast<size_t>(i)] = s[i];
  }
  [[gnu::always_inline]] Lanes2 Run(Lanes2 x)
  {
    Lanes2 in = x;
    for (int i = 0; i < K; ++i)
    {
      const Lanes2 out = a[i] * (in - s[i + 1]) + s[i];
      s[i] = in;
      in = out;
    }
    s[K] = in;
    return in;
  }
};

} // namespace

template <int A1, int B1, int A2, int B2>
[[gnu::always_inline]] inline void HalfBandFilter::UpsampleCascadeFixed(HalfBandFilter& first, HalfBandFilter& second,
                                                                         const double* input, int n, double* output)
{
  FixedBranch<A1> f0;
  FixedBranch<B1> f1;
  FixedBranch<A2> s0;
  FixedBranch<B2> s1;
  f0.Load(first.mBranch0, first.mState0);
  f1.Load(first.mBranch1, first.mState1);
  s0.Load(second.mBranch0, second.mState0);
  s1.Load(second.mBranch1, second.mState1);
  for (int i = 0; i < n; ++i)
  {
    const Lanes2 x = Lanes2::Load(input + 2 * i);
    const Lanes2 even = f0.Run(x);
    const Lanes2 odd = f1.Run(x);
    double* out = output + 8 * i;
    s0.Run(even).Store(out);
    s1.Run(even).Store(out + 2);
    s0.Run(odd).Store(out + 4);
    s1.Run(odd).Store(out + 6);
  }
  f0.Save(first.mState0);
  f1.Save(first.mState1);
  s0.Save(second.mState0);
  s1.Save(second.mState1);
}

template <int A1, int B1, int A2, int B2>
[[gnu::always_inline]] inline void HalfBandFilter::DownsampleCascadeFixed(HalfBandFilter& first,
                                                                           HalfBandFilter& second,
                                                                           const double* input, int n, double* output)
{
  FixedBranch<A1> f0;
  FixedBranch<B1> f1;
  FixedBranch<A2> s0;
  FixedBranch<B2> s1;
  f0.Load(first.mBranch0, first.mState0);
  f1.Load(first.mBranch1, first.mState1);
  s0.Load(second.mBranch0, second.mState0);
  s1.Load(second.mBranch1, second.mState1);
  Lanes2 heldFirst = first.mHeldOdd;
  Lanes2 heldSecond = second.mHeldOdd;
  const Lanes2 half = Lanes2::Both(0.5);
  for (int i = 0; i < n; ++i)
  {
    const double* in = input + 8 * i;
    const Lanes2 w0 = half * (s0.Run(Lanes2::Load(in)) + s1.Run(heldSecond));
    const Lanes2 w1 = half * (s0.Run(Lanes2::Load(in + 4)) + s1.Run(Lanes2::Load(in + 2)));
    heldSecond = Lanes2::Load(in + 6);
    (half * (f0.Run(w0) + f1.Run(heldFirst))).Store(output + 2 * i);
    heldFirst = w1;
  }
  first.mHeldOdd = heldFirst;
  second.mHeldOdd = heldSecond;
  f0.Save(first.mState0);
  f1.Save(first.mState1);
  s0.Save(second.mState0);
  s1.Save(second.mState1);
}

namespace {

// The section counts (branch 0 and 1 of the first stage, then of the second) with an unrolled kernel.
enum class CascadeKind
{
  None,
  Realtime, // 5 + 5, 2 + 2
  Offline,  // 7 + 7, 3 + 3
};

CascadeKind CascadeOf(const HalfBandFilter& first, const HalfBandFilter& second)
{
  if (first.IsLinearPhase() || second.IsLinearPhase())
    return CascadeKind::None;
  const auto counts = [&](size_t a1, size_t b1, size_t a2, size_t b2) {
    return first.Branch(0).size() == a1 && first.Branch(1).size() == b1 && second.Branch(0).size() == a2
           && second.Branch(1).size() == b2;
  };
  if (counts(5, 5, 2, 2))
    return CascadeKind::Realtime;
  if (counts(7, 7, 3, 3))
    return CascadeKind::Offline;
  return CascadeKind::None;
}

} // namespace

template <int A1, int B1, int A2, int B2>
void HalfBandFilter::UpsampleCascadeBaseline(HalfBandFilter& first, HalfBandFilter& second, const double* input,
                                             int n, double* output)
{
  UpsampleCascadeFixed<A1, B1, A2, B2>(first, second, input, n, output);
}

template <int A1, int B1, int A2, int B2>
void HalfBandFilter::DownsampleCascadeBaseline(HalfBandFilter& first, HalfBandFilter& second, const double* input,
                                               int n, double* output)
{
  DownsampleCascadeFixed<A1, B1, A2, B2>(first, second, input, n, output);
}

#if QUORL_HAS_WIDE_TARGETS
// With the 32 vector registers of AVX-512VL every branch's state stays in registers.
template <int A1, int B1, int A2, int B2>
QUORL_TARGET_AVX512 void HalfBandFilter::UpsampleCascadeAvx512(HalfBandFilter& first, HalfBandFilter& second,
                                                               const double* input, int n, double* output)
{
  UpsampleCascadeFixed<A1, B1, A2, B2>(first, second, input, n, output);
}

template <int A1, int B1, int A2, int B2>
QUORL_TARGET_AVX512 void HalfBandFilter::DownsampleCascadeAvx512(HalfBandFilter& first, HalfBandFilter& second,
                                                                 const double* input, int n, double* output)
{
  DownsampleCascadeFixed<A1, B1, A2, B2>(first, second, input, n, output);
}
#endif

template <int A1, int B1, int A2, int B2>
void HalfBandFilter::RunCascade(bool up, WideKernels kernels, HalfBandFilter& first, HalfBandFilter& second,
                                const double* input, int n, double* output)
{
#if QUORL_HAS_WIDE_TARGETS
  if (kernels == WideKernels::Avx512)
  {
    if (up)
      UpsampleCascadeAvx512<A1, B1, A2, B2>(first, second, input, n, output);
    else
      DownsampleCascadeAvx512<A1, B1, A2, B2>(first, second, input, n, output);
    return;
  }
#endif
  (void)kernels;
  if (up)
    UpsampleCascadeBaseline<A1, B1, A2, B2>(first, second, input, n, output);
  else
    DownsampleCascadeBaseline<A1, B1, A2, B2>(first, second, input, n, output);
}

bool HalfBandFilter::Cascade(bool up, WideKernels kernels, HalfBandFilter& first, HalfBandFilter& second,
                             const double* input, int n, double* output)
{
  switch (CascadeOf(first, second))
  {
  case CascadeKind::Realtime: RunCascade<5, 5, 2, 2>(up, kernels, first, second, input, n, output); return true;
  case CascadeKind::Offline: RunCascade<7, 7, 3, 3>(up, kernels, first, second, input, n, output); return true;
  case CascadeKind::None: break;
  }
  return false;
}

bool HalfBandFilter::UpsampleCascade(HalfBandFilter& first, HalfBandFilter& second, const double* input, int n,
                                     double* output, WideKernels kernels)
{
  return Cascade(true, kernels, first, second, input, n, output);
}

bool HalfBandFilter::DownsampleCascade(HalfBandFilter& first, HalfBandFilter& second, const double* input, int n,
                                       double* output, WideKernels kernels)
{
  return Cascade(false, kernels, first, second, input, n, output);
}

// Even outputs: 2 sum_j h[2j] x[n - j]; odd outputs: 2 h[middle] x[n - K] = x[n - K].
void HalfBandFilter::UpsampleFir(const double* input, int n, double* output)
{
  const int taps = static_cast<int>(mEven.size()); // 2K + 2
  const int span = taps - 1;
  for (int done = 0; done < n;)
  {
    const int count = std::min(kFirChunk, n - done);
    for (int i = 0; i < count; ++i)
      mLine[static_cast<size_t>(span + i)] = Lanes2::Load(input + 2 * (done + i));
    for (int i = 0; i < count; ++i)
    {
      const Lanes2* newest = mLine.data() + span + i;
      Lanes2 sum = Lanes2::Zero();
      for (int j = 0; j < taps; ++j)
        sum += Lanes2::Both(mEven[static_cast<size_t>(j)]) * newest[-j];
      (Lanes2::Both(2.0) * sum).Store(output + 4 * (done + i));
      newest[-mHalf].Store(output + 4 * (done + i) + 2);
    }
    std::copy(mLine.begin() + count, mLine.begin() + count + span, mLine.begin());
    done += count;
  }
}

// Each output: sum_m h[m] v[2n - m] over the taps that are not zero.
void HalfBandFilter::DownsampleFir(const double* input, int n, double* output)
{
  const int length = static_cast<int>(mTaps.size());
  const int span = length - 1;
  const int middle = 2 * mHalf + 1;
  const Lanes2 middleTap = Lanes2::Both(mTaps[static_cast<size_t>(middle)]);
  for (int done = 0; done < n;)
  {
    const int count = std::min(kFirChunk, n - done);
    for (int i = 0; i < 2 * count; ++i)
      mLine[static_cast<size_t>(span + i)] = Lanes2::Load(input + 2 * (2 * done + i));
    for (int i = 0; i < count; ++i)
    {
      const Lanes2* newest = mLine.data() + span + 2 * i;
      Lanes2 sum = Lanes2::Zero();
      for (int j = 0; j < length; j += 2)
        sum += Lanes2::Both(mTaps[static_cast<size_t>(j)]) * newest[-j];
      sum += middleTap * newest[-middle];
      sum.Store(output + 2 * (done + i));
    }
    std::copy(mLine.begin() + 2 * count, mLine.begin() + 2 * count + span, mLine.begin());
    done += count;
  }
}

} // namespace ondrell
