// What a parameter set may hold, and the narrower spans the controls move
// in. A file outside the first is refused; the windows, OSC and MIDI keep
// to the second. Every limit takes in all the windows can set, and every
// accepted value is written back as text a file reader accepts again.
#pragma once

#include "engine/types.h"

// What a set may hold.
constexpr float min_grain_duration = 0.001f;  // s; shorter grains are clicks
constexpr float max_grain_duration = 10.0f;   // s
// State frequencies in Hz: from far below hearing (the sliders' lowest is
// 1 Hz) up to the Nyquist frequency of the orchestra's 44.1 kHz.
constexpr double min_frequency = 0.01;
constexpr double max_frequency = 22050.0;
// Score amplitudes: the sliders give 0 ... 1000; a margin of one slider
// span on either side leaves room for hand-written sets.
constexpr double min_amplitude = -1000.0;
constexpr double max_amplitude = 2000.0;
// r1 and r2 divide: the smallest is the least "%f" writes as other than 0.
constexpr float min_rule_divisor = 1e-6f;
constexpr float max_rule_divisor = 1000.0f;
constexpr float max_k = 1000.0f;  // k is at least 0
constexpr int min_states = 1;       // Ns, up to max_states
constexpr int min_instruments = 1;  // noinstrm, up to max_instruments
// x and y: 0 ... max_grid (types.h).

// The number of iterations a render may run: 10 million 25 ms grains are
// about three days of sound and 2.5 GB of score at the default 25 notes.
constexpr int max_iterations = 10'000'000;

// The positions a control may move an entry to.
struct position_limits {
  double lowest, highest;
};
// Below -47 a state's frequency (under 0.011 Hz) would not load back from
// a saved set; above 100 lies beyond the sliders.
constexpr position_limits state_limits{-47.0, 100.0};
// Amplitudes -1000 .. 1000 in the file's units.
constexpr position_limits instrument_limits{-100.0, 100.0};
// The span of a state's or instrument's slider (a loaded value beyond it
// widens the slider).
constexpr position_limits slider_span{0.0, 100.0};

// The control panel's scales: r1, r2 and k in hundredths from 0.01 to 10,
// the grid from 0 to max_grid.
constexpr int rule_scale_lowest = 1;
constexpr int rule_scale_highest = 1000;
constexpr double rule_scale_unit = 0.01;
// The grain durations the control panel's arrows step through and its
// field takes: the down arrow stops at the lowest, so no grain is empty;
// the up arrow stops at or above the highest.
constexpr double windows_duration_lowest = 0.001;
constexpr double windows_duration_highest = 9.99;
