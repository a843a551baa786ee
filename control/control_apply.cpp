#include "control/control_apply.h"
#include "control/control_log.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <utility>

#include "control/bindings.h"
#include "control/control_loads.h"
#include "control/nsm_client.h"
#include "control/tuning_control.h"
#include "engine/limits.h"
#include "engine/mapping/beat_grid.h"
#include "engine/mapping/parameter_change.h"
#include "engine/externs.h"
#include "engine/render/performance.h"
#include "files/param_file.h"
#include "engine/mapping/scales.h"

std::function<bool(int, int, int)> Controller_Catcher;

namespace {

struct value_range {
  double low, high;
};

// What a control accepts; a value outside is refused, never clamped. A
// state's frequency and a slider's position stay where a window's move
// could take them, so nothing is cut short without a word.
constexpr value_range rule_range{min_rule_divisor, max_rule_divisor};
constexpr value_range k_range{0.0, max_k};
constexpr value_range dur_range{min_grain_duration, max_grain_duration};
constexpr value_range amplitude_range{slider_span.lowest * amplitude_per_position,
                                      slider_span.highest * amplitude_per_position};
constexpr value_range position_range{slider_span.lowest, slider_span.highest};
constexpr value_range grid_range{0.0, max_grid};
constexpr value_range midi_range{0.0, 127.0};
constexpr value_range velocity_range{1.0, 127.0};  // 0 is a note-off
constexpr value_range any_range{-1e300, 1e300};

value_range hz_range() {
  static const value_range hz{position_hertz(state_limits.lowest),
                              position_hertz(state_limits.highest)};
  return hz;
}

value_range range_of(control_kind kind) {
  switch (kind) {
    case control_kind::r1:
    case control_kind::r2: return rule_range;
    case control_kind::k: return k_range;
    case control_kind::dur: return dur_range;
    case control_kind::grid_x:
    case control_kind::grid_y: return grid_range;
    case control_kind::reduce: return {0.0, 1.0};
    case control_kind::state: return hz_range();
    case control_kind::state_position: return position_range;
    case control_kind::instrument: return amplitude_range;
    case control_kind::note: return velocity_range;
    case control_kind::controller: return midi_range;
    case control_kind::quantize: return {0.0, 1.0};
    case control_kind::tempo: return {0.0, highest_tempo};
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
void play_note(int key, double velocity) { Note_Scaling = key_scaling(key, velocity); }

void move_controller(int channel, int controller, int value, bool rendering,
                     control_effects& effects) {
  if (Controller_Catcher && Controller_Catcher(channel, controller, value)) return;
  if (const auto change = Bindings.change_for(channel, controller, value))
    apply_control(*change, rendering, effects);
}

// A reseed waits for the next iteration; between renders there is nothing
// to reseed, since every render starts from a fresh seeding.
void ask_reseed(bool rendering) {
  if (rendering)
    reseed_waiting = true;
  else
    control_log("reseed ignored: no render is running, and each starts from a fresh seeding");
}

void change_panel(parameter what, double value, control_effects& effects) {
  change_parameter({what, 0, value});
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
  const parameters_type& p = Current_State;
  switch (c.kind) {
    case control_kind::r1: change_panel(parameter::r1, c.value, effects); break;
    case control_kind::r2: change_panel(parameter::r2, c.value, effects); break;
    case control_kind::k: change_panel(parameter::k, c.value, effects); break;
    case control_kind::dur: change_panel(parameter::dur, c.value, effects); break;
    case control_kind::grid_x: change_panel(parameter::grid_x, c.value, effects); break;
    case control_kind::grid_y: change_panel(parameter::grid_y, c.value, effects); break;
    case control_kind::reduce: change_panel(parameter::reduction, c.index, effects); break;
    case control_kind::state:
    case control_kind::state_position:
      if (!index_in_use(c, p.Ns, "state")) return;
      // A frequency given by value sounds as that value until its
      // position moves (exact_frequencies.h).
      change_parameter({c.kind == control_kind::state ? parameter::state_frequency
                                                      : parameter::state_position,
                        c.index, c.value});
      effects.frequencies = true;
      break;
    case control_kind::instrument:
      if (!index_in_use(c, p.noinstrm, "instrument")) return;
      change_parameter({parameter::instrument_position, c.index, amplitude_position(c.value)});
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
    case control_kind::grain:
      if (c.index < 0 || c.index >= grain_key_count) return;
      set_grain_number(Grain_Design, grain_keys[c.index], c.value);
      effects.grain = true;
      break;
    case control_kind::scale:
    case control_kind::quantize:
    case control_kind::tempo: apply_tuning_control(c, effects); break;
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
  static const performance_hooks at_iterations{[] {
    const control_effects e = apply_controls(true);
    if (iteration_effects && e.any()) iteration_effects(e);
    return std::exchange(reseed_waiting, false);
  }};
  add_performance_hooks(default_engine(), at_iterations);
}
