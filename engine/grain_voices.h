#pragma once

// The grain voices of zelmora's orchestra, computed in C++ so that a note
// costs a few arithmetic operations instead of a csound instrument instance
// (short grains bring 100 000 notes a second). csound runs them through the
// opcode `zelmora_grains` (plugin/); the orchestra's Master still does gain
// staging, filtering and limiting on what they put out.
//
// The voices take the notes of a score, each instrument a chain of sin^2
// windows that cross-fade with a steady phase, staggered behind the score,
// panned equal-power by the block's column, under the amplitude taper. No
// csound or X header here.

#include <cstddef>
#include <vector>

#include "engine/iteration.h"

class grain_voices {
 public:
  // `control_period` is csound's ksmps: a score note starts at the control
  // period nearest its time, and the voices keep that timing.
  grain_voices(double sample_rate, int control_period);

  // Notes come in non-decreasing start order, each before render() has
  // reached its start time.
  void add(const note& n);

  // Adds the next `frames` samples of every voice to `left` and `right`
  // (not cleared first) and moves time on by as much.
  void render(double* left, double* right, std::size_t frames);

  // The number of sounding voices of the latest onset that has begun: the
  // N of the Master's gain staging (at least 1).
  int voices() const;

  // The time (seconds) until which the render must go on for the last
  // note added so far to play out, delays after it included.
  double keep_until() const;

  // The time (seconds) of the next sample render() produces.
  double now() const;
};
