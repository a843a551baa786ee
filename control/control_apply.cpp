#include "control/control_apply.h"
#include "control/control_log.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <utility>

#include "control/bindings.h"
#include "control/control_loads.h"
#include "control/nsm_client.h"
#include "engine/mapping/exact_frequencies.h"
#include "engine/externs.h"
#include "engine/render/performance.h"
#include "files/param_file.h"
#include "engine/mapping/scales.h"

std::function<bool(int, int, int)> Controller_Catcher;

namespace {

struct value_range {
  double low, high;
};

constexpr value_range rule_range{min_rule_divisor, 1000.0};
constexpr value_range k_range{0.0, 1000.0};
constexpr value_range dur_range{min_grain_duration, max_grain_duration};
constexpr value_range hz_range{min_frequency, max_frequency};
constexpr value_range amplitude_range{0.0, 1000.0};  // the Instruments sliders' span
constexpr value_range position_range{0.0, 100.0};    // the States sliders' span
constexpr value_range grid_range{0.0, max_grid};
constexpr value_range midi_range{0.0, 127.0};
constexpr value_range velocity_range{1.0, 127.0};  // 0 is a note-off
constexpr value_range any_range{-1e300, 1e300};

value_range range_of(control_kind kind) {
  switch (kind) {
    case control_kind::r1:
    case control_kind::r2: return rule_range;
    case control_kind::k: return k_range;
    case control_kind::dur: return dur_range;
    case control_kind::grid_x:
    case control_kind::grid_y: return grid_range;
    case control_kind::reduce: return {0.0, 1.0};
    case control_kind::state: return hz_range;
    case control_kind::state_position: return position_range;
    case control_kind::instrument: return amplitude_range;
    case control_kind::note: return velocity_range;
    case control_kind::controller: return midi_range;
    default: return any_range;
  }
}

std::function<void(const control_effects&)> iteration_effects;
bool reseed_waiting = false;

bool index_in_use(const control_change& c, int count, const char* what) {
  if (c.index >= 0 && c.index < count && c.index < max_states) return true;
  control_log("%s %d refused: the set has %s 0 ... %d", what, c.index, what, count - 1);
  return false;
}

// A note-on: every frequency moves by key - 60 semitones; the velocity
// scales the score amplitudes by velocity / 127.
void play_note(int key, double velocity) {
  Note_Scaling.frequency = static_cast<float>(std::exp2((key - 60) / 12.0));
  Note_Scaling.amplitude = static_cast<float>(velocity / 127.0);
}

void move_controller(int channel, int controller, int value, bool rendering,
                     control_effects& effects) {
  if (Controller_Catcher && Controller_Catcher(channel, controller, value)) return;
  if (const binding* b = Bindings.find(channel, controller))
    apply_control(target_change(b->target, value), rendering, effects);
}

// A reseed waits for the next iteration; between renders there is nothing
// to reseed, since every render starts from a fresh seeding.
void ask_reseed(bool rendering) {
  if (rendering)
    reseed_waiting = true;
  else
    control_log("reseed ignored: no render is running, and each starts from a fresh seeding");
}

void set_float(float& field, double value, control_effects& effects) {
  field = static_cast<float>(value);
  effects.panel = true;
}

}  // namespace

bool control_value_ok(control_kind kind, double value) {
  const value_range r = range_of(kind);
  return std::isfinite(value) && value >= r.low && value <= r.high;
}

std::string control_range_text(control_kind kind) {
  const value_range r = range_of(kind);
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%g ... %g", r.low, r.high);
  return text.data();
}

void apply_control(const control_change& c, bool rendering, control_effects& effects) {
  if (!control_value_ok(c.kind, c.value)) {
    control_log("value %g refused: outside %s", c.value, control_range_text(c.kind).c_str());
    return;
  }
  parameters_type& p = Current_State;
  switch (c.kind) {
    case control_kind::r1: set_float(p.r1, c.value, effects); break;
    case control_kind::r2: set_float(p.r2, c.value, effects); break;
    case control_kind::k: set_float(p.k, c.value, effects); break;
    case control_kind::dur: set_float(p.dur, c.value, effects); break;
    case control_kind::grid_x: p.x = static_cast<int>(c.value); effects.panel = true; break;
    case control_kind::grid_y: p.y = static_cast<int>(c.value); effects.panel = true; break;
    case control_kind::reduce: Mean_Mode = c.index; effects.panel = true; break;
    case control_kind::state:
      if (!index_in_use(c, p.Ns, "state")) return;
      // As a parameter file turns a frequency into a position; the value
      // itself sounds until the position moves.
      p.states[c.index] = static_cast<float>(hertz_position(c.value));
      keep_exact_frequency(c.index, p.states[c.index], c.value);
      effects.frequencies = true;
      break;
    case control_kind::state_position:
      if (!index_in_use(c, p.Ns, "state")) return;
      p.states[c.index] = static_cast<float>(c.value);
      effects.frequencies = true;
      break;
    case control_kind::instrument:
      if (!index_in_use(c, p.noinstrm, "instrument")) return;
      p.instrm[c.index] = static_cast<float>(c.value / 10.0);
      effects.amplitudes = true;
      break;
    case control_kind::reseed: ask_reseed(rendering); break;
    case control_kind::load: start_control_load(c.text); break;
    case control_kind::play: effects.play = true; break;
    case control_kind::stop: effects.stop = true; break;
    case control_kind::note: play_note(c.index, c.value); break;
    case control_kind::controller:
      move_controller(c.index / 128 + 1, c.index % 128, static_cast<int>(c.value), rendering,
                      effects);
      break;
    case control_kind::session_open:
      nsm_open_session(c.text);
      effects.panel = effects.frequencies = effects.amplitudes = effects.events = true;
      break;
    case control_kind::session_save: nsm_save_session(c.text); break;
  }
}

control_effects apply_controls(bool rendering) {
  control_effects effects;
  finish_control_load(rendering, effects);
  if (control_load_running()) return effects;  // what came after it waits
  for (const control_change& c : control_inbox().take_until_load())
    apply_control(c, rendering, effects);
  return effects;
}

void apply_controls_at_iterations(std::function<void(const control_effects&)> effects) {
  iteration_effects = std::move(effects);
  Performance.before_iteration = [] {
    const control_effects e = apply_controls(true);
    if (iteration_effects && e.any()) iteration_effects(e);
    return std::exchange(reseed_waiting, false);
  };
}
