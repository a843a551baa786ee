#include "dsp/master.h"

#include <algorithm>
#include <cmath>

namespace {

// A voice at 0 dB among N sounding voices comes out at level / sqrt(N): N
// voices at unrelated pitches add up to the loudness of one. (0.56 while
// a jump of pitch cross-faded under sin^2, losing 3 dB in its middle.)
constexpr double level = 0.52;
// The staging's gain falls at once as voices come in, but rises no faster
// than this as they go: the grains fading out of a mute are never raised,
// and the voices left come up to the level of all of them only slowly.
constexpr double stage_rise_db_per_second = 6;
// And it follows its per-period values through a 2 ms smoothing, so that
// no corner of it ticks.
constexpr double stage_smoothing_seconds = 0.002;
constexpr double high_pass_hz = 25;
// A render ends once the output and everything held has fallen below this.
const double quiet_level = std::pow(10.0, -80.0 / 20);
// The reverb's decay at space 0 ... 1.
constexpr double shortest_decay = 0.8, longest_decay = 3.2;
// What the Master may ring on without a reverb: the high-pass after 1 ms
// grains.
constexpr double filter_ring_out = 1.0;

double decay_of(double space) { return shortest_decay + (longest_decay - shortest_decay) * space; }

}  // namespace

grain_master::grain_master(double rate, int period)
    : period_(period),
      stage_rise_(std::pow(10.0, stage_rise_db_per_second * period / rate / 20)),
      stage_smoothing_(1 - std::exp(-1 / (stage_smoothing_seconds * rate))),
      reverb_(rate),
      high_pass_left_(rate, high_pass_hz),
      high_pass_right_(rate, high_pass_hz),
      limiter_(rate, period) {}

void grain_master::set_design(const grain_design& design) {
  if (design.space <= 0 && design_.space > 0) reverb_.clear();
  design_ = design;
  reverb_.set_decay(decay_of(design.space));
}

double grain_master::ring_out() const {
  return filter_ring_out + (design_.space > 0 ? decay_of(design_.space) : 0);
}

// Uniform on [0, 1), from a 64-bit xorshift: the dither needs no more.
double grain_master::dither_sample() {
  random_ ^= random_ << 13;
  random_ ^= random_ >> 7;
  random_ ^= random_ << 17;
  return static_cast<double>(random_ >> 11) * 0x1p-53;
}

void grain_master::process(double* left, double* right, double voices) {
  const double target = level / std::sqrt(std::max(voices, 1.0));
  if (stage_ < 0) stage_smooth_ = stage_ramp_ = target;
  stage_ = stage_ < 0 ? target : std::min(target, stage_ * stage_rise_);
  const double step = (stage_ - stage_ramp_) / period_;
  double gain = stage_ramp_;
  for (int n = 0; n < period_; ++n) {
    gain += step;
    stage_smooth_ += (gain - stage_smooth_) * stage_smoothing_;
    left[n] *= stage_smooth_;
    right[n] *= stage_smooth_;
  }
  stage_ramp_ = gain;
  if (design_.space > 0) reverb_.process(left, right, period_, design_.space);
  for (int n = 0; n < period_; ++n) {
    left[n] = high_pass_left_.step(left[n]);
    right[n] = high_pass_right_.step(right[n]);
  }

  limiter_.process(left, right, design_.limiter);

  double heard = 0;
  for (int n = 0; n < period_; ++n) {
    heard = std::max({heard, std::abs(left[n]), std::abs(right[n])});
    left[n] += offset_;
    right[n] += offset_;
    if (dither_ > 0) {
      left[n] += (dither_sample() + dither_sample() - 0.5) * dither_;
      right[n] += (dither_sample() + dither_sample() - 0.5) * dither_;
    }
  }
  const double held = std::max({high_pass_left_.memory(), high_pass_right_.memory(),
                                design_.space > 0 ? reverb_.memory() : 0.0});
  quiet_ = heard < quiet_level && held < quiet_level && !limiter_.holds_above(quiet_level);
}
