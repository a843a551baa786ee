// The seam between the engine and whatever shows its state. The windows fill
// these in at start-up; a headless program leaves them empty and nothing is
// shown. The engine never knows about widgets.
#pragma once

#include <string>

#include "engine/types.h"

struct view_hooks {
  void (*set_control)() = nullptr;          // control panel from Current_State
  void (*set_all_frequencies)() = nullptr;  // States window
  void (*set_all_amplitudes)() = nullptr;   // Instruments window
  void (*show_iteration)(int) = nullptr;    // the control panel's counter
  void (*show_error)(const std::string&) = nullptr;  // a failure, in a dialog
  // The grid iteration t's notes come from: after its events (a reseed
  // included), before its step. Current_State holds x, y, Ns and noinstrm.
  // The grid may be kept a byte a cell: read it through current_grid().
  void (*show_grid)(const grid_type&, int) = nullptr;
};

extern view_hooks View;

// Calls a hook when one is installed.
void view_set_control();
void view_set_all_frequencies();
void view_set_all_amplitudes();
void view_show_iteration(int iteration);
void view_show_grid(const grid_type& grid, int iteration);
