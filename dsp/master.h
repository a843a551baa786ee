// The orchestra's Master in C++: what comes after the grain voices, a
// control period at a time. Gain staging by the voices that sound, the
// reverb send, a DC and subsonic high-pass, the look-ahead limiter, and the
// last touch of the samples for the file they go to (dither, rounding).
// csound runs it through the plugin's opcode; any other host (a plugin of
// its own) runs the same.
#pragma once

#include <cstdint>

#include "dsp/grain_design.h"
#include "dsp/high_pass.h"
#include "dsp/limiter.h"
#include "dsp/reverb.h"

class grain_master {
 public:
  grain_master(double rate, int period);

  // The limiter on or off, the reverb's send and decay.
  void set_design(const grain_design& design);

  // What the file's samples lose: 16-bit samples get triangular dither of
  // one LSB either way, `lsb` the step; 0: none.
  void set_dither(double lsb) { dither_ = lsb; }
  // Added to every sample: half a step of a format that truncates, so that
  // it rounds to the nearest instead.
  void set_offset(double offset) { offset_ = offset; }

  // One control period of the voices' stereo sum in place, `voices` the
  // count the staging divides by (the voices that sound, each by its
  // windows: as grains fade it falls with them, and no fading grain comes
  // out louder than it was).
  void process(double* left, double* right, double voices);

  // Whether what came out last, and everything still in the filter, the
  // reverb and the limiter's delay, lies below -80 dBFS.
  bool quiet() const { return quiet_; }
  // The longest the Master may ring on after the voices (seconds).
  double ring_out() const;

 private:
  double dither_sample();

  int period_;
  double stage_rise_;       // the most the staging's gain rises a period
  double stage_ = -1;       // the staging's gain for the period
  double stage_ramp_ = 0;   // where its ramp across the period starts
  double stage_smoothing_;  // a sample's step of the smoothing
  double stage_smooth_ = 0; // the gain applied, smoothed
  stereo_reverb reverb_;
  butterworth_high_pass high_pass_left_, high_pass_right_;
  look_ahead_limiter limiter_;
  grain_design design_;
  double dither_ = 0, offset_ = 0;
  std::uint64_t random_ = 0x9e3779b97f4a7c15u;
  bool quiet_ = false;
};
