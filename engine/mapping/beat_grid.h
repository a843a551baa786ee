// Iterations on a beat grid: at a tempo of `bpm` beats a minute with
// `grain_beats` grains a beat, every grain lasts 60 / bpm / grain_beats
// seconds, so iteration t starts on grain t of the grid (4 a beat are
// sixteenth notes). The one place the arithmetic lives: the offline
// render's --tempo, OSC's /zelmora/tempo, and whatever follows a tempo
// from outside (a transport, a clock, a plugin host) all go through it.
#pragma once

#include <cmath>

#include "engine/limits.h"

constexpr double seconds_per_minute = 60.0;
constexpr double lowest_tempo = 1.0;  // bpm
constexpr double highest_tempo = 1000.0;
constexpr int most_grain_beats = 192;  // a 64th-note triplet is 24 a beat
constexpr int default_grain_beats = 4;

struct beat_grid {
  double bpm = 0.0;  // 0: no grid, grains last the set's dur
  int grain_beats = default_grain_beats;

  bool on() const { return bpm > 0.0; }
};

// Seconds of one grain on the grid.
inline double grain_seconds(double bpm, int grain_beats) {
  return seconds_per_minute / bpm / grain_beats;
}

// Sample frames of one grain at `rate` frames a second (not a whole number
// in general: a follower keeps the fraction rather than drift).
inline double grain_frames(double bpm, int grain_beats, double rate) {
  return grain_seconds(bpm, grain_beats) * rate;
}

// The grain an iteration starting at `beat` (counted from 0) falls on.
inline long grain_at_beat(double beat, int grain_beats) {
  return std::lround(std::floor(beat * grain_beats + 1e-9));
}

// Whether a grid gives grains a set may hold (limits.h).
inline bool beat_grid_fits(double bpm, int grain_beats) {
  if (!(bpm >= lowest_tempo && bpm <= highest_tempo) || grain_beats < 1 ||
      grain_beats > most_grain_beats)
    return false;
  // As the set would hold it.
  const auto seconds = static_cast<float>(grain_seconds(bpm, grain_beats));
  return seconds >= min_grain_duration && seconds <= max_grain_duration;
}

// The duration an iteration's grains last: the grid's when it is on, else
// the set's own `dur`.
inline double grain_duration(const beat_grid& grid, float dur) {
  return grid.on() ? grain_seconds(grid.bpm, grid.grain_beats) : static_cast<double>(dur);
}
