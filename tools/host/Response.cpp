#include "tools/host/Response.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace ondrell::host {
namespace {

// Magnitude of the component at frequency f in x[begin, begin + length), Hann-windowed so that the transients
// and harmonics outside the window's main lobe hardly leak in. For A·sin(ωn) the result is A.
double ToneAmplitude(const std::vector<double>& x, size_t begin, size_t length, double f, double rate) {
  const double w = 2.0 * std::numbers::pi * f / rate;
  double re = 0.0, im = 0.0, windowSum = 0.0;
  for (size_t n = 0; n < length; ++n) {
    const double win = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(n) / double(length));
    const double v = x[begin + n] * win;
    re += v * std::cos(w * double(n));
    im -= v * std::sin(w * double(n));
    windowSum += win;
  }
  return 2.0 * std::hypot(re, im) / windowSum;
}

}  // namespace

std::vector<double> LogSpacedFrequencies(double low, double high, int count) {
  std::vector<double> f;
  if (count < 2) return {low};
  for (int i = 0; i < count; ++i) f.push_back(low * std::pow(high / low, double(i) / double(count - 1)));
  return f;
}

bool MeasureResponse(HostedPlugin& plugin, const ResponseOptions& options, const std::vector<double>& frequencies,
                     std::vector<ResponsePoint>& points, std::string& error) {
  points.clear();
  const double rate = options.sampleRate;
  std::vector<double> freqs;
  for (double f : frequencies)
    if (f > 0.0 && f < rate / 2.0) freqs.push_back(f);
  if (freqs.empty()) {
    error = "no frequency below half the sample rate to measure";
    return false;
  }
  const double amplitude = std::pow(10.0, options.levelDb / 20.0);
  // Parameter glides and filter start-up settle during this stretch of silence before the test signal.
  const size_t preroll = size_t(rate * 0.5);

  AudioData in;
  in.sampleRate = rate;
  std::vector<double> signal(preroll, 0.0);
  struct Window {
    size_t begin, length;
  };
  std::vector<Window> windows;
  size_t impulseLength = 0;
  if (options.method == ResponseMethod::Impulse) {
    impulseLength = 1;
    while (impulseLength < size_t(rate)) impulseLength <<= 1;  // about a second: long enough for 20 Hz shelves
    signal.resize(preroll + impulseLength, 0.0);
    signal[preroll] = amplitude;
  } else {
    for (double f : freqs) {
      const double period = rate / f;
      const size_t settle = size_t(std::max(0.1 * rate, 4.0 * period));
      const double periods = std::max(4.0, std::ceil(0.1 * f));
      const size_t length = size_t(std::llround(periods * period));
      const size_t start = signal.size();
      for (size_t n = 0; n < settle + length; ++n)
        signal.push_back(amplitude * std::sin(2.0 * std::numbers::pi * f * double(n) / rate));
      windows.push_back(Window{start + settle, length});
    }
  }
  in.channels.assign(std::max<uint32_t>(options.channels, 1), signal);

  RenderOptions render = options.render;
  render.compensateLatency = true;
  AudioData out;
  RenderReport report;
  if (!Render(plugin, in, out, render, report, error)) return false;
  const std::vector<double>& y = out.channels[0];

  for (size_t i = 0; i < freqs.size(); ++i) {
    double gain = 0.0;
    if (options.method == ResponseMethod::Impulse) {
      const double w = 2.0 * std::numbers::pi * freqs[i] / rate;
      double re = 0.0, im = 0.0;
      for (size_t n = 0; n < impulseLength; ++n) {
        re += y[preroll + n] * std::cos(w * double(n));
        im -= y[preroll + n] * std::sin(w * double(n));
      }
      gain = std::hypot(re, im) / amplitude;
    } else {
      gain = ToneAmplitude(y, windows[i].begin, windows[i].length, freqs[i], rate) / amplitude;
    }
    points.push_back(ResponsePoint{freqs[i], 20.0 * std::log10(std::max(gain, 1e-12))});
  }
  return true;
}

std::string FormatResponseTable(const std::vector<ResponsePoint>& points) {
  std::string table = "  frequency (Hz)   gain (dB)\n";
  char line[64];
  for (const auto& p : points) {
    std::snprintf(line, sizeof line, "  %14.1f   %+9.3f\n", p.frequency, p.gainDb);
    table += line;
  }
  return table;
}

bool WriteResponsePlot(const std::string& path, const std::vector<ResponsePoint>& points, const std::string& title,
                       std::string& error) {
  if (points.empty()) {
    error = "no points to plot";
    return false;
  }
  const int width = 900, height = 480;
  const double left = 70, right = 20, top = 40, bottom = 50;
  double lo = -24.0, hi = 24.0;
  for (const auto& p : points) {
    while (p.gainDb < lo) lo -= 12.0;
    while (p.gainDb > hi) hi += 12.0;
  }
  const double fLo = 20.0, fHi = 20000.0;
  auto xOf = [&](double f) {
    return left + (width - left - right) * std::log10(std::clamp(f, fLo, fHi) / fLo) / std::log10(fHi / fLo);
  };
  auto yOf = [&](double db) { return top + (height - top - bottom) * (hi - db) / (hi - lo); };

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12);
  cairo_set_line_width(cr, 1.0);
  char label[32];
  for (double db = lo; db <= hi + 1e-9; db += 6.0) {
    cairo_set_source_rgb(cr, db == 0.0 ? 0.55 : 0.85, db == 0.0 ? 0.55 : 0.85, db == 0.0 ? 0.55 : 0.85);
    cairo_move_to(cr, left, yOf(db));
    cairo_line_to(cr, width - right, yOf(db));
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    std::snprintf(label, sizeof label, "%+.0f dB", db);
    cairo_move_to(cr, 8, yOf(db) + 4);
    cairo_show_text(cr, label);
  }
  for (double decade = 10.0; decade <= 10000.0; decade *= 10.0)
    for (int k = 1; k <= 9; ++k) {
      const double f = decade * k;
      if (f < fLo || f > fHi) continue;
      cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
      cairo_move_to(cr, xOf(f), top);
      cairo_line_to(cr, xOf(f), height - bottom);
      cairo_stroke(cr);
      if (k == 1 || k == 2 || k == 5) {
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        std::snprintf(label, sizeof label, f >= 1000.0 ? "%.0fk" : "%.0f", f >= 1000.0 ? f / 1000.0 : f);
        cairo_move_to(cr, xOf(f) - 8, height - bottom + 18);
        cairo_show_text(cr, label);
      }
    }
  cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
  cairo_move_to(cr, left, 24);
  cairo_show_text(cr, title.c_str());
  cairo_move_to(cr, width / 2.0 - 40, height - 12);
  cairo_show_text(cr, "frequency (Hz)");

  cairo_set_source_rgb(cr, 0.1, 0.35, 0.8);
  cairo_set_line_width(cr, 2.0);
  for (size_t i = 0; i < points.size(); ++i) {
    if (i == 0)
      cairo_move_to(cr, xOf(points[i].frequency), yOf(points[i].gainDb));
    else
      cairo_line_to(cr, xOf(points[i].frequency), yOf(points[i].gainDb));
  }
  cairo_stroke(cr);
  cairo_destroy(cr);
  const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    error = "cannot write " + path + ": " + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace ondrell::host
