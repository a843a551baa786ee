// Moving one state's or one instrument's position in Current_State, as
// every control does it: a slider, a typed frequency, and whatever else
// may one day steer the set (MIDI, OSC). With the window's Lock set every
// entry in use moves by the same offset, which on the frequency scale is
// the same ratio: intervals are kept, nothing is rounded to a slider step.
#pragma once

#include <span>

#include "engine/limits.h"

// Moves entry `index` of the first `count` entries to `position`, within
// the limits. Locked, every entry in use moves by the offset of this one,
// an offset cut short where the first of them would pass a limit, so the
// spacing never breaks. False when nothing changed.
bool move_position(std::span<float> entries, int count, int index, double position,
                   bool locked, position_limits limits);

// Entry `index` of an engine's states (locked by its Freq_Lock) or
// instruments (locked by its Amp_Lock); without an engine, the default one.
struct engine;
bool set_state_position(engine& e, int index, double position);
bool set_instrument_position(engine& e, int index, double position);
bool set_state_position(int index, double position);
bool set_instrument_position(int index, double position);
