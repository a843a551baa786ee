// A state's frequency set by value (OSC's /zelmora/state, a frequency typed
// in the States window) sounds as that value. A set keeps positions, and
// e^(0.096 p) of the float nearest log(f) / 0.096 is off f by a few parts
// in 10^7 (440 Hz would sound 440.000031). The value is kept beside the
// position it was stored as and lapses once that position moves, so
// positions, files, sliders and every set never given a value stay as
// they are.
#pragma once

#include <cstdint>

// Keeps `hz` for `state` while its position is `position`.
void keep_exact_frequency(int state, float position, double hz);

// Nothing kept any more (a fresh start).
void forget_exact_frequencies();

// What `state` sounds at `position`: the kept value, or e^(0.096 p).
float sounding_frequency(int state, float position);

// Changes whenever a value is kept: a table of sounding frequencies is
// good only for the generation it was made in.
std::uint64_t exact_frequencies_generation();

// Moves Current_State's state `index` to `hz` as set_state_position()
// does (locked, the others by the same ratio) and keeps `hz` when the
// state got there. False when nothing changed.
bool set_state_frequency(int index, double hz);
