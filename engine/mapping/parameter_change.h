// One change to the parameter set, whichever control made it: a window's
// scale, slider, arrow or field, an OSC message, a MIDI controller. All of
// them go through change_parameter(), so a state or an instrument moves the
// same way from every source: with Lock set (Freq_Lock, Amp_Lock) every
// entry in use moves by the same offset (position_moves.h), and no move
// passes the limits (limits.h). A source checks its own accepted ranges
// first; what arrives here is stored. Events, loads, Reset and Auto-set
// set many entries at once and leave Lock out by design: they store the
// set themselves.
#pragma once

enum class parameter {
  r1,
  r2,
  k,
  dur,
  grid_x,
  grid_y,
  iterations,
  reduction,            // 0 mean, 1 mode
  state_frequency,      // a state's frequency in Hz, kept exactly
  state_position,       // a state's slider position
  instrument_position,  // an instrument's slider position
};

struct parameter_change {
  parameter what = parameter::r1;
  int index = 0;  // the state or instrument
  double value = 0.0;
};

// Applies the change to the engine's set (its Mean_Mode for the
// reduction); without an engine, to Current_State. True when anything
// changed.
struct engine;
bool change_parameter(engine& e, const parameter_change& change);
bool change_parameter(const parameter_change& change);
