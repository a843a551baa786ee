#include "engine/mapping/position_moves.h"

#include <algorithm>
#include <cmath>

#include "engine/engine.h"

bool move_position(std::span<float> entries, int count, int index, double position,
                   bool locked, position_limits limits) {
  count = std::clamp(count, 0, static_cast<int>(entries.size()));
  if (index < 0 || index >= count || std::isnan(position)) return false;
  const double wanted = std::clamp(position, limits.lowest, limits.highest);
  const float before = entries[static_cast<std::size_t>(index)];
  if (!locked) {
    entries[static_cast<std::size_t>(index)] = static_cast<float>(wanted);
    return entries[static_cast<std::size_t>(index)] != before;
  }
  const auto in_use = entries.first(static_cast<std::size_t>(count));
  const auto [low, high] = std::minmax_element(in_use.begin(), in_use.end());
  // An entry already beyond a limit (from a file) may still come back.
  const double up = std::max(0.0, limits.highest - static_cast<double>(*high));
  const double down = std::min(0.0, limits.lowest - static_cast<double>(*low));
  const double offset = std::clamp(wanted - static_cast<double>(before), down, up);
  if (offset == 0.0) return false;
  for (float& entry : in_use) entry = static_cast<float>(static_cast<double>(entry) + offset);
  return true;
}

bool set_state_position(engine& e, int index, double position) {
  return move_position(e.state.states, e.state.Ns, index, position, e.freq_lock != 0,
                       state_limits);
}

bool set_instrument_position(engine& e, int index, double position) {
  return move_position(e.state.instrm, e.state.noinstrm, index, position, e.amp_lock != 0,
                       instrument_limits);
}

bool set_state_position(int index, double position) {
  return set_state_position(default_engine(), index, position);
}

bool set_instrument_position(int index, double position) {
  return set_instrument_position(default_engine(), index, position);
}
