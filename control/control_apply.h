// The engine's side of outside control: checks a value against what its
// control accepts, and applies waiting changes to the run state on the
// engine's thread.
#pragma once

#include <functional>
#include <string>

#include "control/control_change.h"
#include "engine/types.h"

// Whether `value` is inside the accepted range of `kind` (indices are
// checked when applied, against the set in use). Any thread may call it.
bool control_value_ok(control_kind kind, double value);
// "0.000001 ... 1000" and the like, for the log line of a refused value.
std::string control_range_text(control_kind kind);

// What applying left for the program to do.
struct control_effects {
  bool panel = false;        // r1, r2, k, dur, grid or reduction changed
  bool frequencies = false;  // a state's frequency
  bool amplitudes = false;   // an instrument's amplitude
  bool events = false;       // the event list was replaced
  bool play = false;         // asked to start playing
  bool stop = false;         // asked to stop playing
  bool grain = false;        // the grain design changed
  bool any() const { return panel || frequencies || amplitudes || events || play || stop || grain; }
};

// Whoever wants a controller before its binding does (MIDI learn): true
// when it took it. Engine thread only.
extern std::function<bool(int channel, int controller, int value)> Controller_Catcher;

// Takes every waiting change and applies it, in order of arrival. While a
// render runs (`rendering`) a loaded set keeps the grid, states and
// instruments in use, as events do, and a loaded list plays on from the
// next iteration. A reseed waits for the next iteration. Engine thread only.
control_effects apply_controls(bool rendering);

// Applies one change; what apply_controls() does with each.
void apply_control(const control_change& change, bool rendering, control_effects& effects);

// Installs the iteration hook that applies waiting changes at the start of
// each iteration of a render (and has a waiting reseed done there);
// `effects` receives what they left to do.
void apply_controls_at_iterations(std::function<void(const control_effects&)> effects);
