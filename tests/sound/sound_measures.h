// What the sound tests measure on csound's output: spectra, loudness
// (ITU-R BS.1770: K-weighting, gated integrated loudness, true peak) and
// the modulation of the level at a given rate.
#pragma once

#include <complex>
#include <string>
#include <vector>

namespace sound_measures {

constexpr int sample_rate = 44100;  // zelmora.orc's sr

using channel = std::vector<double>;

struct stereo {
  channel left, right;
  std::size_t frames() const { return left.size(); }
};

std::string output_of(const std::string& command);
// A sound file read through sox as stereo floats (full scale 1); `type`:
// sox's options for a headerless file.
stereo read_sound(const std::string& name, const std::string& type = "");

// Power on the bins from lo to hi Hz of the Hann-windowed channels (summed
// over both), as a share of all their power.
struct spectrum {
  std::vector<double> power;  // bins 0 to n/2 of both channels
  std::size_t n = 1;
  double total = 0.0;
  explicit spectrum(const stereo& s);
  double share(double lo_hz, double hi_hz) const;
};

double decibels(double power_ratio);
double dbfs(double peak);
// The loudest short burst above `hz`: the highest level (dBFS, a full-scale
// sine 0) of that band in Hann-windowed frames of 1024 samples.
double loudest_above_dbfs(const stereo& s, double hz);
double mean_square(const stereo& s);  // of both channels together, per channel
double sample_peak(const stereo& s);
double true_peak_dbtp(const stereo& s);
double integrated_lufs(const stereo& s);
// Depth of the amplitude modulation at `hz` of the summed power of both
// channels: 0.03 is 3 %.
double modulation_at(const stereo& s, double hz);

}  // namespace sound_measures
