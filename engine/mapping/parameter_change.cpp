#include "engine/mapping/parameter_change.h"

#include "engine/engine.h"
#include "engine/mapping/exact_frequencies.h"
#include "engine/mapping/position_moves.h"

namespace {

template <typename Field>
bool store(Field& field, double value) {
  const Field before = field;
  field = static_cast<Field>(value);
  return field != before;
}

}  // namespace

bool change_parameter(const parameter_change& c) { return change_parameter(default_engine(), c); }

bool change_parameter(engine& e, const parameter_change& c) {
  parameters_type& p = e.state;
  switch (c.what) {
    case parameter::r1: return store(p.r1, c.value);
    case parameter::r2: return store(p.r2, c.value);
    case parameter::k: return store(p.k, c.value);
    case parameter::dur: return store(p.dur, c.value);
    case parameter::grid_x: return store(p.x, c.value);
    case parameter::grid_y: return store(p.y, c.value);
    case parameter::iterations: return store(p.iter, c.value);
    case parameter::reduction: return store(e.mean_mode, c.value);
    case parameter::state_frequency: return set_state_frequency(e, c.index, c.value);
    case parameter::state_position: return set_state_position(e, c.index, c.value);
    case parameter::instrument_position: return set_instrument_position(e, c.index, c.value);
  }
  return false;
}
