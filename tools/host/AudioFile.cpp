#include "tools/host/AudioFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace ondrell::host {

bool ReadAudioFile(const std::string& path, AudioData& audio, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    error = "cannot read " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  if (info.channels < 1 || info.frames < 0) {
    sf_close(file);
    error = path + " holds no audio channels";
    return false;
  }
  std::vector<double> interleaved(size_t(info.frames) * size_t(info.channels));
  const sf_count_t got = sf_readf_double(file, interleaved.data(), info.frames);
  sf_close(file);
  audio.sampleRate = info.samplerate;
  audio.channels.assign(size_t(info.channels), std::vector<double>(size_t(std::max<sf_count_t>(got, 0))));
  for (sf_count_t f = 0; f < got; ++f)
    for (int c = 0; c < info.channels; ++c) audio.channels[size_t(c)][size_t(f)] = interleaved[size_t(f * info.channels + c)];
  return true;
}

bool WriteAudioFile(const std::string& path, const AudioData& audio, std::string& error) {
  if (audio.channels.empty()) {
    error = "nothing to write to " + path;
    return false;
  }
  const bool flac = path.size() >= 5 && path.compare(path.size() - 5, 5, ".flac") == 0;
  SF_INFO info{};
  info.samplerate = static_cast<int>(std::lround(audio.sampleRate));
  info.channels = static_cast<int>(audio.channels.size());
  info.format = flac ? (SF_FORMAT_FLAC | SF_FORMAT_PCM_24) : (SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) {
    error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  // Integer formats clip instead of wrapping around.
  if (flac) sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const size_t frames = audio.Frames();
  const size_t channels = audio.channels.size();
  std::vector<double> interleaved(frames * channels);
  for (size_t f = 0; f < frames; ++f)
    for (size_t c = 0; c < channels; ++c) interleaved[f * channels + c] = audio.channels[c][f];
  const sf_count_t written = sf_writef_double(file, interleaved.data(), sf_count_t(frames));
  sf_close(file);
  if (written != sf_count_t(frames)) {
    error = "short write to " + path;
    return false;
  }
  return true;
}

}  // namespace ondrell::host
