// The grain voices' tables: one cycle of each wave band-limited to a set of
// harmonic counts (so that a voice reads the one whose highest harmonic
// lies below Nyquist at its pitch, and nothing folds back), the shapes of
// separate grains, and the score's table 1 as the voices read it. Built
// once, before any sound: reading them costs no allocation.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

#include "dsp/grain_design.h"

// One cycle (or one window) of `size` points and a guard point, read with
// linear interpolation as csound's oscillators read their tables.
struct wave_table {
  static constexpr std::size_t size = 4096;
  std::array<float, size + 1> points{};

  // `phase` in cycles, 0 <= phase < 1.
  double at(double phase) const {
    const double x = phase * size;
    const auto i = std::min(static_cast<std::size_t>(x), size - 1);
    const double f = x - static_cast<double>(i);
    return points[i] + f * (points[i + 1] - points[i]);
  }
};

// The band-limited triangle, saw and square, each with as many harmonics as
// the pitch allows (a quarter octave of bandwidth lost at the most).
class band_limited_waves {
 public:
  band_limited_waves();
  // The table of `wave` for a tone of `hz` at `rate`; nullptr for the sine
  // and the score's table, which are not read from here.
  const wave_table* table_for(grain_wave wave, double hz, double rate) const;

 private:
  std::vector<int> harmonics_;  // the counts, rising
  std::vector<wave_table> tables_;  // wave-major: 3 x harmonics_.size()
};

// The shapes of separate grains over their length, each 0 at both ends,
// and the mean of each (what a voice of overlapping grains averages).
struct grain_shapes {
  grain_shapes();
  const wave_table& of(grain_window w) const { return shapes[static_cast<std::size_t>(w) - 1]; }
  double mean(grain_window w) const { return means[static_cast<std::size_t>(w) - 1]; }
  std::array<wave_table, 4> shapes{};
  std::array<double, 4> means{};
};

// The shared tables, built on first use.
const band_limited_waves& shared_waves();
const grain_shapes& shared_shapes();

// The score's table 1 as the voices read it: resampled to wave_table::size
// points when it has another size; `sine` when it is one cycle of a sine
// (as the programs' scores bring it), which the voices then compute
// exactly instead.
struct score_table {
  wave_table table;
  bool present = false;
  bool sine = true;
  void take(const double* points, std::size_t count);
};
