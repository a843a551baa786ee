// The Master's DC and subsonic filter: an 8-pole Butterworth high-pass at
// 25 Hz (flat from 30 Hz up), four biquad sections made by the bilinear
// transform. Grains of 30 to 80 Hz are short enough to spread well below
// 20 Hz; this takes that out. The arithmetic is csound's clfilt's, step for
// step, so that the orchestra's Master and this one agree to the last bit.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

class butterworth_high_pass {
 public:
  static constexpr int sections = 4;

  butterworth_high_pass(double rate, double hz) {
    const double minus_pi_over_rate = -std::numbers::pi / rate;
    const double t = std::tan(-minus_pi_over_rate * hz);
    for (int m = 0; m < sections; ++m) {
      const double angle = std::numbers::pi * ((m + 0.5) / (2.0 * sections) + 0.5);
      const double alpha = std::cos(angle), beta = std::sin(angle);
      const double pole = alpha * alpha + beta * beta;
      coefficients_[m] = {pole + t * (t - 2.0 * alpha), 2.0 * (t * t - pole),
                          pole + t * (t + 2.0 * alpha)};
    }
  }

  double step(double x) {
    for (int m = 0; m < sections; ++m) {
      const coefficient& c = coefficients_[m];
      state& s = states_[m];
      const double y = (x - 2.0 * s.x1 + s.x2 - c.a1 * s.y1 - c.a2 * s.y2) / c.a0;
      s.x2 = s.x1;
      s.x1 = x;
      s.y2 = s.y1;
      s.y1 = y;
      x = y;
    }
    return x;
  }

  // The largest of the filter's remembered values: how loud it may still
  // ring with no input.
  double memory() const {
    double most = 0;
    for (const state& s : states_)
      most = std::max({most, std::abs(s.x1), std::abs(s.x2), std::abs(s.y1), std::abs(s.y2)});
    return most;
  }

 private:
  struct coefficient {
    double a0, a1, a2;
  };
  struct state {
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  };
  std::array<coefficient, sections> coefficients_{};
  std::array<state, sections> states_{};
};
