#include "dsp/reverb.h"

#include <algorithm>
#include <cmath>

namespace {

// Line lengths in ms, no two with a common rhythm.
constexpr std::array<double, 8> line_ms{29.7, 37.1, 41.1, 43.7, 53.3, 59.9, 67.7, 73.1};
constexpr double damping = 0.25;  // each pass keeps this much of the last sample: highs fade
constexpr double wet_level = 0.35;  // a send of 1 about as loud as what it is sent

}  // namespace

stereo_reverb::stereo_reverb(double rate) : rate_(rate) {
  for (int i = 0; i < lines; ++i)
    delays_[static_cast<std::size_t>(i)].assign(
        static_cast<std::size_t>(std::max(1.0, std::round(line_ms[static_cast<std::size_t>(i)] *
                                                           rate / 1000))),
        0.0);
  set_decay(2);
}

void stereo_reverb::set_decay(double rt60) {
  if (rt60 == decay_) return;
  decay_ = rt60;
  for (std::size_t i = 0; i < lines; ++i)
    gains_[i] = std::pow(10.0, -3.0 * static_cast<double>(delays_[i].size()) / (rt60 * rate_));
}

void stereo_reverb::clear() {
  for (auto& d : delays_) std::fill(d.begin(), d.end(), 0.0);
  lowpass_.fill(0);
  memory_ = 0;
}

void stereo_reverb::process(double* left, double* right, int count, double send) {
  double loudest = 0;
  for (int n = 0; n < count; ++n) {
    std::array<double, lines> out{};
    double sum = 0;
    for (std::size_t i = 0; i < lines; ++i) {
      out[i] = delays_[i][positions_[i]];
      sum += out[i];
    }
    // Left into the even lines, right into the odd; out, alternating signs.
    const double in_left = left[n] * send, in_right = right[n] * send;
    double wet_left = 0, wet_right = 0;
    for (std::size_t i = 0; i < lines; ++i) {
      const double mixed = out[i] - sum * (2.0 / lines);
      lowpass_[i] = mixed * (1 - damping) + lowpass_[i] * damping;
      const double fed = lowpass_[i] * gains_[i] + (i % 2 == 0 ? in_left : in_right);
      delays_[i][positions_[i]] = fed;
      positions_[i] = positions_[i] + 1 == delays_[i].size() ? 0 : positions_[i] + 1;
      loudest = std::max(loudest, std::abs(fed));
      (i < lines / 2 ? wet_left : wet_right) += (i % 3 == 0 ? -out[i] : out[i]);
    }
    left[n] += wet_left * wet_level;
    right[n] += wet_right * wet_level;
  }
  memory_ = loudest;
}
