// The seam between the engine and whatever shows its state. The windows fill
// these in at start-up; a headless program leaves them empty and nothing is
// shown. The engine never knows about widgets. Grids and notes go to the
// sinks of iteration.h instead.
#pragma once

#include <string>

#include "engine/types.h"

struct view_hooks {
  void (*set_control)() = nullptr;          // control panel from Current_State
  void (*set_all_frequencies)() = nullptr;  // States window
  void (*set_all_amplitudes)() = nullptr;   // Instruments window
  void (*show_iteration)(int) = nullptr;    // the control panel's counter
  void (*show_error)(const std::string&) = nullptr;  // a failure, in a dialog
};

extern view_hooks View;

// Calls a hook when one is installed.
void view_set_control();
void view_set_all_frequencies();
void view_set_all_amplitudes();
void view_show_iteration(int iteration);
