#include "lv2/grain_source.h"

#include <utility>

#include "engine/externs.h"
#include "engine/mapping/note_lines.h"
#include "engine/mapping/parameter_change.h"
#include "engine/mapping/scales.h"

namespace {

// The offline renderer draws its first seeding from rand() never seeded,
// which is srand(1).
constexpr unsigned render_seed = 1;

// What each steering port changes, in the order of port_values.
constexpr parameter steered[steering_ports] = {parameter::r1,     parameter::r2,
                                               parameter::k,      parameter::grid_x,
                                               parameter::grid_y, parameter::dur,
                                               parameter::reduction};

}  // namespace

grain_source::grain_source(feed_ring& notes, design_ring& designs)
    : notes_(notes), designs_(designs) {
  default_parameters(start_.params);
  read_bindings(default_bindings_path(), bindings_);
  add_iteration_sink(engine_, *this);
}

grain_source::~grain_source() { remove_iteration_sink(engine_, *this); }

void grain_source::restart(double origin, std::uint32_t generation) {
  engine_.state = start_.params;
  engine_.mean_mode = start_.mean_mode;
  engine_.grain = start_.grain;
  engine_.seed(render_seed);
  run_ = start_render(engine_);
  origin_ = origin;
  generation_ = generation;
  ended_ = false;
  designs_.push(engine_.grain);
}

double grain_source::rendered_until() const {
  return origin_ + (run_.next == 0 ? 0.0 : run_.start + static_cast<double>(run_.dur));
}

void grain_source::serve(const work_request& request) {
  // Generations only grow (modulo 2^32); an older request is stale.
  if (static_cast<std::int32_t>(request.generation - generation_) > 0)
    restart(request.restart_at, request.generation);
  engine_.scaling = request.scaling;
  apply_ports(request);
  for (int m = 0; m < request.moves && m < work_request::max_moves; ++m)
    apply_move(request.move[m]);
  // The host's tempo sets the grain of every iteration, whatever the
  // set or its events say.
  if (request.beat_grain > 0) engine_.state.dur = request.beat_grain;
  compute_until(request.until);
}

void grain_source::compute_until(double until) {
  const auto room = [this] { return feed_ring::capacity - notes_.size(); };
  while (!ended_ && rendered_until() < until && room() > max_instruments)
    ended_ = !render_iteration(run_);
}

void grain_source::on_iteration(const iteration& it) {
  for (const note& n : it.notes) {
    feed_item item{feed_item::kind::note, generation_, note_as_written(n)};
    item.n.start += origin_;
    notes_.push(item);
  }
}

// A control changes the set in force and the one a restart begins from
// alike, through the one rule every control follows: the start set takes
// the engine's place for the second change.
void grain_source::change_both(const parameter_change& change) {
  change_parameter(engine_, change);
  std::swap(engine_.state, start_.params);
  std::swap(engine_.mean_mode, start_.mean_mode);
  change_parameter(engine_, change);
  std::swap(engine_.state, start_.params);
  std::swap(engine_.mean_mode, start_.mean_mode);
}

void grain_source::change_design(int key, double value) {
  if (key < 0 || key >= grain_key_count) return;
  set_grain_number(engine_.grain, grain_keys[key], value);
  start_.grain = engine_.grain;
  designs_.push(engine_.grain);
}

void grain_source::apply_ports(const work_request& request) {
  for (int p = 0; p < steering_ports; ++p)
    if ((request.ports_changed & (1u << p)) != 0) change_both({steered[p], 0, request.ports[p]});
}

// A controller moves what the user's bindings bind it to, as in the
// program.
void grain_source::apply_move(const controller_move& move) {
  const binding* b = bindings_.find(move.channel, move.controller);
  if (!b) return;
  const control_change c = target_change(*b, move.value / 127.0);
  switch (c.kind) {
    case control_kind::r1: change_both({parameter::r1, 0, c.value}); break;
    case control_kind::r2: change_both({parameter::r2, 0, c.value}); break;
    case control_kind::k: change_both({parameter::k, 0, c.value}); break;
    case control_kind::grid_x: change_both({parameter::grid_x, 0, c.value}); break;
    case control_kind::grid_y: change_both({parameter::grid_y, 0, c.value}); break;
    case control_kind::state_position:
      change_both({parameter::state_position, c.index, c.value});
      break;
    case control_kind::instrument:
      change_both({parameter::instrument_position, c.index, amplitude_position(c.value)});
      break;
    case control_kind::grain: change_design(c.index, c.value); break;
    default: break;
  }
}
