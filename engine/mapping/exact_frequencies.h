// A state's frequency set by value (OSC's /zelmora/state, a frequency typed
// in the States window) sounds as that value. A set keeps positions, and
// e^(0.096 p) of the float nearest log(f) / 0.096 is off f by a few parts
// in 10^7 (440 Hz would sound 440.000031). The value is kept beside the
// position it was stored as and lapses once that position moves, so
// positions, files, sliders and every set never given a value stay as
// they are. Each engine keeps its own.
#pragma once

#include <array>

#include "engine/types.h"

class sounding_frequencies {
 public:
  // Keeps `hz` for `state` while its position is `position`.
  void keep(int state, float position, double hz);
  // Nothing kept any more (a fresh start).
  void forget();
  // What `state` sounds at `position`: the kept value, or e^(0.096 p).
  float of(int state, float position) const;
  // Every state's, recomputed only when a position or a kept value
  // changed: the reductions look states up instead of calling exp per cell.
  const std::array<float, max_states>& table(const std::array<float, max_states>& positions);

 private:
  struct kept_frequency {
    bool kept = false;
    float position = 0.0f;
    float hz = 0.0f;
  };
  std::array<kept_frequency, max_states> kept_{};
  std::array<float, max_states> table_positions_{};
  std::array<float, max_states> table_{};
  bool table_valid_ = false;
};

// The default engine's (engine.h).
void keep_exact_frequency(int state, float position, double hz);
void forget_exact_frequencies();
float sounding_frequency(int state, float position);

// Moves the engine's state `index` to `hz` as set_state_position() does
// (locked, the others by the same ratio) and keeps `hz` when the state got
// there. False when nothing changed. Without an engine, the default one.
struct engine;
bool set_state_frequency(engine& e, int index, double hz);
bool set_state_frequency(int index, double hz);
