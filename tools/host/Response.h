#pragma once
// Magnitude response of a hosted plug-in at its current settings: stepped sine sweep or impulse, a printed table
// and a PNG plot (Cairo).

#include "tools/host/PluginFormat.h"
#include "tools/host/Render.h"

#include <string>
#include <vector>

namespace ondrell::host {

enum class ResponseMethod { Sweep, Impulse };

struct ResponseOptions {
  ResponseMethod method = ResponseMethod::Sweep;
  double sampleRate = 48000.0;
  uint32_t channels = 2;
  double levelDb = -20.0;  // test signal level: sine amplitude or impulse height, dB full scale
  RenderOptions render;
};

struct ResponsePoint {
  double frequency = 0.0;
  double gainDb = 0.0;
};

// Measures the gain of output channel 0 at every frequency given (those at or above Nyquist are skipped).
bool MeasureResponse(HostedPlugin& plugin, const ResponseOptions& options, const std::vector<double>& frequencies,
                     std::vector<ResponsePoint>& points, std::string& error);

std::vector<double> LogSpacedFrequencies(double low, double high, int count);
std::string FormatResponseTable(const std::vector<ResponsePoint>& points);
bool WriteResponsePlot(const std::string& path, const std::vector<ResponsePoint>& points, const std::string& title,
                       std::string& error);

}  // namespace ondrell::host
