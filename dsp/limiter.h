// The Master's look-ahead limiter: it delays the sound by `look` control
// periods and applies one gain to both channels, so that sample peaks stay
// at the ceiling (-2 dBFS: true peaks below -1 dBTP for tones up to about
// 7 kHz). Each period's peak gives the largest gain it allows. The gain is
// a quadratic B-spline through one control value a period (smooth, no
// corners to tick), and a control value is at most what its period and both
// neighbours allow, so the curve, which stays within its three nearest
// control values, never lets a peak through. With a longer `look` it falls
// towards a coming peak along a straight line that starts `look` periods
// ahead; at two (the least the spline needs, 1.45 ms at 44.1 kHz: what
// live play hears late) it falls within a period. Nothing is ever clipped.
//
// Coming back up, it holds the lowest gain of the last `hold` seconds and
// then rises slowly, a few dB a second: dense voices at the top of the
// range peak higher every few tens of milliseconds, and a gain that
// followed each peak up and down would pump.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

class look_ahead_limiter {
 public:
  static constexpr int look = 2;  // periods

  look_ahead_limiter(double rate, int period);

  // One control period of both channels in place; what comes out went in
  // `look` periods earlier. Off, the gain stays 1 (the delay stays, so
  // that switching keeps the timing).
  void process(double* left, double* right, bool on);

  // The gain of the period that came out last (1: no reduction).
  double gain() const { return c1_; }
  // Anything still in the delay louder than `level`.
  bool holds_above(double level) const;

 private:
  double allowed_cut(double peak) const;
  double next_control(double limit);

  int period_;
  double ceiling_;
  double release_;            // the gain's rise a period, once it rises
  int hold_periods_;
  std::vector<double> left_, right_;  // look + 1 periods, a ring
  std::array<double, look + 1> cut_{};  // how far below unity each period needs the gain
  std::array<double, look + 1> peak_{};  // and its peak, before any gain
  int head_ = 0;              // the slot of the newest period
  double c0_ = 1, c1_ = 1;    // the last two control values
  int held_for_ = 0;          // periods since the gain last came down
};
