#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <vector>

// Measuring helpers for the engine tests, written independently of the engine code.
namespace quorl_test {

inline constexpr double kPi = std::numbers::pi;

// Amplitude of the component at `hz` in x[begin, begin + count), by projection onto sine and cosine.
// Exact for a steady sine when the window holds a whole number of periods.
inline double AmplitudeAt(const std::vector<double>& x, size_t begin, size_t count, double hz, double rate)
{
  double s = 0.0;
  double c = 0.0;
  for (size_t i = 0; i < count; ++i)
  {
    const double phase = 2.0 * kPi * hz * static_cast<double>(begin + i) / rate;
    s += x[begin + i] * std::sin(phase);
    c += x[begin + i] * std::cos(phase);
  }
  return 2.0 * std::sqrt(s * s + c * c) / static_cast<double>(count);
}

inline double ToDb(double linear) { return 20.0 * std::log10(linear); }

// The chain computes the shaper's sine with its own polynomial (within 1 ulp of std::sin). Where no filter is
// active, its results then differ from the formula written with std::sin by no more than this, relative to the
// size of the signal. (Through filters the recursion's own rounding noise adds to it: EqChannelChainTest.)
inline constexpr double kRoundingBound = 1e-15;

// |got - expected| relative to the signal's size: |expected| + scale, scale being the input's level.
inline double RelativeDifference(double got, double expected, double scale)
{
  if (got == expected)
    return 0.0;
  return std::fabs(got - expected) / (std::fabs(expected) + scale);
}

inline std::vector<double> Sine(size_t n, double hz, double rate, double amplitude, double phase = 0.0)
{
  std::vector<double> x(n);
  for (size_t i = 0; i < n; ++i)
    x[i] = amplitude * std::sin(2.0 * kPi * hz * static_cast<double>(i) / rate + phase);
  return x;
}

// Cookbook biquad, computed here from the published formulas (A = 10^(dB/40), w0 = 2 pi f / fs).
struct Cookbook
{
  double b0, b1, b2, a0, a1, a2;

  static Cookbook Peaking(double f, double q, double dB, double fs)
  {
    const double A = std::pow(10.0, dB / 40.0);
    const double w = 2.0 * kPi * f / fs;
    const double alpha = std::sin(w) / (2.0 * q);
    return {1.0 + alpha * A, -2.0 * std::cos(w), 1.0 - alpha * A, 1.0 + alpha / A, -2.0 * std::cos(w), 1.0 - alpha / A};
  }
  static Cookbook LowShelf(double f, double q, double dB, double fs)
  {
    const double A = std::pow(10.0, dB / 40.0);
    const double w = 2.0 * kPi * f / fs;
    const double cw = std::cos(w);
    const double beta = 2.0 * std::sqrt(A) * std::sin(w) / (2.0 * q);
    return {A * ((A + 1.0) - (A - 1.0) * cw + beta), 2.0 * A * ((A - 1.0) - (A + 1.0) * cw),
            A * ((A + 1.0) - (A - 1.0) * cw - beta), (A + 1.0) + (A - 1.0) * cw + beta,
            -2.0 * ((A - 1.0) + (A + 1.0) * cw), (A + 1.0) + (A - 1.0) * cw - beta};
  }
  static Cookbook HighShelf(double f, double q, double dB, double fs)
  {
    const double A = std::pow(10.0, dB / 40.0);
    const double w = 2.0 * kPi * f / fs;
    const double cw = std::cos(w);
    const double beta = 2.0 * std::sqrt(A) * std::sin(w) / (2.0 * q);
    return {A * ((A + 1.0) + (A - 1.0) * cw + beta), -2.0 * A * ((A - 1.0) + (A + 1.0) * cw),
            A * ((A + 1.0) + (A - 1.0) * cw - beta), (A + 1.0) - (A - 1.0) * cw + beta,
            2.0 * ((A - 1.0) - (A + 1.0) * cw), (A + 1.0) - (A - 1.0) * cw - beta};
  }
  static Cookbook HighPass(double f, double q, double fs)
  {
    const double w = 2.0 * kPi * f / fs;
    const double cw = std::cos(w);
    const double alpha = std::sin(w) / (2.0 * q);
    return {(1.0 + cw) / 2.0, -(1.0 + cw), (1.0 + cw) / 2.0, 1.0 + alpha, -2.0 * cw, 1.0 - alpha};
  }

  // The responses without gain, by cookbook name.
  enum class Plain
  {
    LowPass,
    BandPassSkirt,
    BandPassPeak,
    Notch,
    AllPass,
  };
  static Cookbook Make(Plain kind, double f, double q, double fs)
  {
    const double w = 2.0 * kPi * f / fs;
    const double cw = std::cos(w);
    const double sw = std::sin(w);
    const double alpha = sw / (2.0 * q);
    const double a0 = 1.0 + alpha, a1 = -2.0 * cw, a2 = 1.0 - alpha;
    switch (kind)
    {
    case Plain::LowPass: return {(1.0 - cw) / 2.0, 1.0 - cw, (1.0 - cw) / 2.0, a0, a1, a2};
    case Plain::BandPassSkirt: return {sw / 2.0, 0.0, -sw / 2.0, a0, a1, a2};
    case Plain::BandPassPeak: return {alpha, 0.0, -alpha, a0, a1, a2};
    case Plain::Notch: return {1.0, -2.0 * cw, 1.0, a0, a1, a2};
    case Plain::AllPass: return {1.0 - alpha, -2.0 * cw, 1.0 + alpha, a0, a1, a2};
    }
    return {};
  }

  // H(e^jw) at frequency hz.
  std::complex<double> Response(double hz, double fs) const
  {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * hz / fs);
    const std::complex<double> z2 = z1 * z1;
    return (b0 + b1 * z1 + b2 * z2) / (a0 + a1 * z1 + a2 * z2);
  }
  double Magnitude(double hz, double fs) const { return std::abs(Response(hz, fs)); }
};

} // namespace quorl_test
