#pragma once
// Planar audio in memory and its exchange with WAV/FLAC files through libsndfile.

#include <cstddef>
#include <string>
#include <vector>

namespace ondrell::host {

struct AudioData {
  double sampleRate = 48000.0;
  std::vector<std::vector<double>> channels;

  size_t Frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

bool ReadAudioFile(const std::string& path, AudioData& audio, std::string& error);
// The container follows the file name: ".flac" writes 24-bit FLAC, anything else 32-bit float WAV.
bool WriteAudioFile(const std::string& path, const AudioData& audio, std::string& error);

}  // namespace ondrell::host
