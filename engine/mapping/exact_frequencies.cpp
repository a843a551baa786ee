#include "engine/mapping/exact_frequencies.h"

#include <cstring>

#include "engine/engine.h"
#include "engine/mapping/position_moves.h"
#include "engine/mapping/scales.h"

void sounding_frequencies::keep(int state, float position, double hz) {
  if (state < 0 || state >= max_states) return;
  kept_[static_cast<std::size_t>(state)] = {true, position, static_cast<float>(hz)};
  table_valid_ = false;
}

void sounding_frequencies::forget() {
  kept_ = {};
  table_valid_ = false;
}

float sounding_frequencies::of(int state, float position) const {
  if (state >= 0 && state < max_states) {
    const kept_frequency& k = kept_[static_cast<std::size_t>(state)];
    if (k.kept && k.position == position) return k.hz;
  }
  return position_frequency(position);
}

const std::array<float, max_states>& sounding_frequencies::table(
    const std::array<float, max_states>& positions) {
  if (!table_valid_ ||
      std::memcmp(table_positions_.data(), positions.data(), sizeof table_positions_) != 0) {
    for (int s = 0; s < max_states; ++s) table_[s] = of(s, positions[s]);
    table_positions_ = positions;
    table_valid_ = true;
  }
  return table_;
}

void keep_exact_frequency(int state, float position, double hz) {
  default_engine().frequencies->keep(state, position, hz);
}

void forget_exact_frequencies() { default_engine().frequencies->forget(); }

float sounding_frequency(int state, float position) {
  return default_engine().frequencies->of(state, position);
}

bool set_state_frequency(engine& e, int index, double hz) {
  const double position = hertz_position(hz);
  const bool moved = set_state_position(e, index, position);
  // A locked move cut short at a limit leaves the state elsewhere.
  if (index >= 0 && index < max_states &&
      e.state.states[static_cast<std::size_t>(index)] == static_cast<float>(position))
    e.frequencies->keep(index, static_cast<float>(position), hz);
  return moved;
}

bool set_state_frequency(int index, double hz) {
  return set_state_frequency(default_engine(), index, hz);
}
