#include "dsp/limiter.h"

#include <algorithm>
#include <cmath>

namespace {

// After the gain last came down it holds this long, then rises this fast.
constexpr double hold_seconds = 1.0;
constexpr double release_db_per_second = 2.0;

// ampdb(-2), as csound computes it.
double decibels_to_gain(double db) { return std::exp(db * (std::log(10.0) / 20)); }

double peak_of(const double* x, int count) {
  double peak = 0;
  for (int i = 0; i < count; ++i) peak = std::max(peak, std::abs(x[i]));
  return peak;
}

}  // namespace

look_ahead_limiter::look_ahead_limiter(double rate, int period)
    : period_(period),
      ceiling_(decibels_to_gain(-2)),
      release_(std::pow(10.0, release_db_per_second * period / rate / 20)),
      hold_periods_(static_cast<int>(hold_seconds * rate / period)),
      left_(static_cast<std::size_t>((look + 1) * period)),
      right_(left_.size()) {}

double look_ahead_limiter::allowed_cut(double peak) const {
  return std::max(0.0, 1 - ceiling_ / std::max(peak, 1e-9));
}

// The newest control value: no more than the coming periods allow; once
// they allow more, held for a while, then rising slowly towards unity.
double look_ahead_limiter::next_control(double limit) {
  if (limit <= c1_) {
    held_for_ = 0;
    return limit;
  }
  if (++held_for_ <= hold_periods_) return c1_;
  return std::min({limit, c1_ * release_, 1.0});
}

void look_ahead_limiter::process(double* left, double* right, bool on) {
  const auto slots = static_cast<std::size_t>(look + 1);
  head_ = static_cast<int>((static_cast<std::size_t>(head_) + 1) % slots);
  const auto newest = static_cast<std::size_t>(head_);
  std::copy(left, left + period_, left_.begin() + static_cast<long>(newest) * period_);
  std::copy(right, right + period_, right_.begin() + static_cast<long>(newest) * period_);
  peak_[newest] = std::max(peak_of(left, period_), peak_of(right, period_));
  cut_[newest] = allowed_cut(peak_[newest]);

  // Slot k periods after the oldest, which comes out now.
  const auto slot = [&](int k) { return (newest + 1 + static_cast<std::size_t>(k)) % slots; };
  double limit = 1 - std::max({cut_[slot(0)], cut_[slot(1)], cut_[slot(2)]});
  if constexpr (look > 2)
    for (int k = 3; k <= look; ++k)
      limit = std::min(limit, 1 - cut_[slot(k)] + static_cast<double>(k - 2) / (look - 2));
  const double c2 = on ? next_control(limit) : 1.0;

  const double* out_left = left_.data() + slot(0) * static_cast<std::size_t>(period_);
  const double* out_right = right_.data() + slot(0) * static_cast<std::size_t>(period_);
  for (int n = 0; n < period_; ++n) {
    const double u = static_cast<double>(n) / period_;
    const double gain =
        0.5 * (1 - u) * (1 - u) * c0_ + (0.5 + u - u * u) * c1_ + 0.5 * u * u * c2;
    left[n] = out_left[n] * gain;
    right[n] = out_right[n] * gain;
  }
  c0_ = c1_;
  c1_ = c2;
}

bool look_ahead_limiter::holds_above(double level) const {
  return *std::max_element(peak_.begin(), peak_.end()) > level;
}
