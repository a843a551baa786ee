// The render driver: the current parameter set and event list become one
// complete Csound score. One iteration is one call of render_iteration(),
// whoever drives it: play_ca() writes a whole score at once, the live
// player paces the same calls by csound's clock.
#pragma once

#include <cstdio>
#include <memory>

#include "engine/automaton.h"
#include "engine/iteration.h"
#include "engine/mapping.h"
#include "engine/types.h"

// What play_ca() reports.
constexpr int render_complete = 0;
constexpr int render_abandoned = -1;     // r1 or r2 of 0 reached a step
constexpr int render_write_failed = -2;  // a write or the close failed

constexpr const char* score_header = "f1 0 8192 10 1\nf2 0 8193 7 0.0001 8192 1.0\n";

// Start times continue where the previous grain duration left off: a change
// of dur at iteration t starts a new origin (time, t) there. With dur never
// changing this is exactly t * dur.
struct score_clock {
  double origin_time = 0.0;
  int origin_iteration = 0;
  float dur = 0.0f;  // the duration in force for the previous iteration
};

// The start time of iteration t, whose notes last dur; t counts up from 0.
double score_start_time(score_clock& clock, int t, float dur);

// A render under way: what carries from one iteration to the next.
struct render_run {
  int iterations = 0;  // read once: an event that changes iter does not change this render
  int next = 0;        // the iteration render_iteration() computes next
  frequency_array freq{};  // notes beyond the n*n computed blocks stay silent at 0 Hz
  score_clock clock;
  double start = 0.0;  // start time of the iteration computed last
  float dur = 0.0f;    // and its grain duration
  note_array notes{};  // of the iteration computed last
  // grid1 and grid2 stay a byte a cell for as long as the render runs.
  std::unique_ptr<compact_render_scope> kept_grids;
};

// Points the event cursor at the list's head, seeds grid1 and reads the
// iteration count. Writes nothing. The grids are current ints again once
// the run is gone.
render_run start_render();

// One iteration: its events (a reseed included), the reduction, its notes
// and grid handed to the sinks (iteration.h), then the step. False when r1
// or r2 of 0 ends the render (the notes are handed out, the step is not).
bool render_iteration(render_run& run);

// The grid that iteration t reads (after its events, before its step).
grid_type& iteration_grid(int t);

// Renders into fp (a score_writer in the sink list for the length of the
// render) and closes it, whatever happens.
int play_ca(std::FILE* fp);
