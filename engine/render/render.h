// The render driver: the current parameter set and event list become one
// complete Csound score. One iteration is one call of render_iteration(),
// whoever drives it: play_ca() writes a whole score at once, the live
// player paces the same calls by csound's clock.
#pragma once

#include <cstdio>
#include <memory>

#include "engine/automaton/automaton.h"
#include "engine/automaton/compact_grid.h"
#include "engine/automaton/compact_step.h"
#include "engine/engine.h"
#include "engine/render/iteration.h"
#include "engine/mapping/mapping.h"
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
  double dur = 0.0;  // the duration in force for the previous iteration
};

// The start time of iteration t, whose notes last dur; t counts up from 0.
double score_start_time(score_clock& clock, int t, double dur);

// The byte grids a render steps while its states and rule fit them. Once
// they do not, the render goes on with the plain code on the engine's int
// grids (grid1 and grid2 for the default engine); when the render ends the
// bytes are written out there, so the int grids hold the last generations
// either way.
struct render_bytes {
  std::unique_ptr<std::array<compact_grid, 2>> grids;  // null: on the ints
  std::array<grid_type*, 2> ints{};  // the engine's int grids
  compact_rule rule;
  std::array<double, 4> rule_for{};  // r1, r2, k, Ns it was made for
  bool rule_made = false;
  bool rule_fits = false;

  render_bytes() = default;
  render_bytes(render_bytes&& other) noexcept = default;
  render_bytes& operator=(render_bytes&& other) noexcept;
  ~render_bytes() { write_out(); }
  void write_out();  // into `ints`, and on them from here on
};

// A render under way: what carries from one iteration to the next.
struct render_run {
  int iterations = 0;  // read once: an event that changes iter does not change this render
  int next = 0;        // the iteration render_iteration() computes next
  frequency_array freq{};  // notes beyond the n*n computed blocks stay silent at 0 Hz
  score_clock clock;
  double start = 0.0;  // start time of the iteration computed last
  double dur = 0.0;    // and its grain duration
  note_array notes{};  // of the iteration computed last
  std::array<float, max_instruments> scaled{};  // its amplitudes, when a velocity scales them
  render_bytes bytes;
  engine* owner = nullptr;  // whose state, events, grids and sinks
};

// Points the engine's event cursor at its list's head, seeds the grid of
// iteration 0 (as bytes when they hold the states) and reads the iteration
// count. Writes nothing.
render_run start_render(engine& e = default_engine());

// One iteration: its events (a reseed included), the reduction, its notes
// and grid handed to the sinks (iteration.h), then the step. False when r1
// or r2 of 0 ends the render (the notes are handed out, the step is not).
bool render_iteration(render_run& run);

// The default engine's int grid of iteration t (after its events, before
// its step); current when the render runs on ints, or has ended.
grid_type& iteration_grid(int t);

// Renders the default engine into fp (a score_writer in the sink list for
// the length of the render) and closes it, whatever happens.
int play_ca(std::FILE* fp);
int play_ca(engine& e, std::FILE* fp);
