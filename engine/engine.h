// One synthesis engine: the parameter set in force, the event list and a
// render's cursor into it, the glide under way, the int grids and the sinks
// its iterations go to. The run-state globals of externs.h, grid1 and grid2
// and the functions that take no engine are the default engine's; a second
// one (a second stream) renders beside it with its own of each.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "dsp/grain_design.h"
#include "engine/types.h"

class iteration_sink;
struct tuning;  // engine/mapping/tuning.h

// A glide towards a parameter set (event_apply.cpp).
struct glide_state {
  parameters_type source{};
  parameters_type target{};
  int divisions = 0;
  int start_time = 0;
};

struct engine {
  parameters_type state{};  // Current_State
  int iteration = 0;        // Current_Iteration
  int mean_mode = 0;        // Mean_Mode: 0 mean, otherwise mode
  grain_design grain;       // Grain_Design
  int freq_lock = 0;        // Freq_Lock
  int amp_lock = 0;         // Amp_Lock
  std::unique_ptr<event_type> events;  // Event_List
  int list_size = 0;                   // List_Size
  int edit_no = -1;                    // Event_List_Edit_No
  event_type* next_event = nullptr;    // Next_Event: a render's cursor, never owning
  int interp_flag = 0;                 // Interp_Flag
  glide_state glide;
  std::array<grid_type*, 2> grids{};   // even and odd iterations' int grids
  std::vector<iteration_sink*> sinks;  // in the order they were added
  std::shared_ptr<tuning> tune;        // scale, quantizing, beat grid; null: none yet

  engine();  // with int grids of its own
  explicit engine(const std::array<grid_type*, 2>& shared) : grids(shared) {}
  engine(const engine&) = delete;
  engine& operator=(const engine&) = delete;

 private:
  std::unique_ptr<std::array<grid_type, 2>> own_grids_;
};

// The one the globals name, on grid1 and grid2.
engine& default_engine();

// Whether the windows show this engine (the default one): only its event
// application refreshes them.
bool shown_in_windows(const engine& e);
