#include "engine/mapping/exact_frequencies.h"

#include <array>
#include <cmath>

#include "engine/externs.h"
#include "engine/mapping/position_moves.h"
#include "engine/mapping/scales.h"

namespace {

struct kept_frequency {
  bool kept = false;
  float position = 0.0f;
  float hz = 0.0f;
};

std::array<kept_frequency, max_states> kept{};
std::uint64_t generation = 0;


}  // namespace

void keep_exact_frequency(int state, float position, double hz) {
  if (state < 0 || state >= max_states) return;
  kept[static_cast<std::size_t>(state)] = {true, position, static_cast<float>(hz)};
  ++generation;
}

void forget_exact_frequencies() {
  kept = {};
  ++generation;
}

float sounding_frequency(int state, float position) {
  if (state >= 0 && state < max_states) {
    const kept_frequency& k = kept[static_cast<std::size_t>(state)];
    if (k.kept && k.position == position) return k.hz;
  }
  return position_frequency(position);
}

std::uint64_t exact_frequencies_generation() { return generation; }

bool set_state_frequency(int index, double hz) {
  const double position = hertz_position(hz);
  const bool moved = set_state_position(index, position);
  // A locked move cut short at a limit leaves the state elsewhere.
  if (index >= 0 && index < max_states &&
      Current_State.states[static_cast<std::size_t>(index)] == static_cast<float>(position))
    keep_exact_frequency(index, static_cast<float>(position), hz);
  return moved;
}
