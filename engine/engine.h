// One synthesis engine: everything a render reads and changes. The
// parameter set in force, the event list and a render's cursor into it,
// the glide under way, the int grids and the cell being stepped, its
// random generator, its kernels' workspace, the sounding frequencies of
// its states, and the lists of what watches it (sinks, views, performance
// hooks). Only the row pool its kernels share is passed in. The run-state
// globals of externs.h, grid1, grid2, coord, rand() and the functions that
// take no engine are the default engine's; another one renders beside it,
// on another thread if need be, sharing nothing with it.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "dsp/grain_design.h"
#include "engine/types.h"

class frame_writer;           // render/frames.h
class iteration_sink;         // render/iteration.h
class random_source;          // automaton/random_source.h
class row_pool;               // automaton/kernel_threads.h
class sounding_frequencies;   // mapping/exact_frequencies.h
struct kernel_workspace;      // mapping/compact_reduce.h
struct performance_hooks;     // render/performance.h
struct tuning;                // mapping/tuning.h
struct view_hooks;            // view.h

// A glide towards a parameter set (event_apply.cpp).
struct glide_state {
  parameters_type source{};
  parameters_type target{};
  int divisions = 0;
  int start_time = 0;
};

// Every note's frequency is multiplied by `frequency` and its score
// amplitude by `amplitude`; 1 and 1 leave the set as it is, bit for bit.
struct note_scaling {
  float frequency = 1.0f;
  float amplitude = 1.0f;
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
  std::array<int, 2> coord{};          // the cell the plain step is at
  note_scaling scaling;
  std::unique_ptr<random_source> random;
  std::unique_ptr<kernel_workspace> kernels;
  std::unique_ptr<sounding_frequencies> frequencies;
  std::unique_ptr<frame_writer> frames;  // null until frames are asked for
  std::vector<iteration_sink*> sinks;    // in the order they were added
  std::vector<const view_hooks*> views;
  std::vector<const performance_hooks*> performers;
  std::shared_ptr<tuning> tune;  // scale, quantizing, beat grid; null: none yet

  engine();  // int grids and a generator of its own, the process's row pool
  explicit engine(row_pool& rows);
  ~engine();
  engine(const engine&) = delete;
  engine& operator=(const engine&) = delete;

  // Only the default engine (render/system.cpp): on grid1, grid2 and coord,
  // drawing from rand().
  struct facade_of_globals {};
  explicit engine(facade_of_globals);

  // The generator seeded as srand(seed) seeds rand(); for the default
  // engine, srand(seed) itself.
  void seed(unsigned seed);

 private:
  std::unique_ptr<std::array<grid_type, 2>> own_grids_;
};

// The one the globals name.
engine& default_engine();

