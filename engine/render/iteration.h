// What one iteration of a render hands out: its notes as numbers and its
// grid, to every sink in the list. The score writer, live play, the frame
// writer and the Automaton window are sinks; a new consumer of notes or
// grids is one more.
#pragma once

#include <cstdio>
#include <span>

#include "dsp/note.h"
#include "engine/mapping/note_lines.h"
#include "engine/types.h"

struct compact_grid;

// One iteration, valid for the length of the call that hands it out.
struct iteration {
  int number = 0;
  double start = 0.0;  // of every note
  double dur = 0.0;    // the grain duration in force
  std::span<const note> notes;
  int x = 0;  // the grid's rows, columns and states
  int y = 0;
  int Ns = 0;
  // The grid after the iteration's events (a reseed included), before its
  // step: a byte a cell while the render runs on bytes, else null.
  const compact_grid* bytes = nullptr;
  grid_type* ints = nullptr;  // the engine's; read it through grid()

  // The grid as ints: rows 1..x, columns 1..y, border wrapped. Written out
  // from the bytes on the first call.
  const grid_type& grid() const;

 private:
  mutable bool written_ = false;
};

class iteration_sink {
 public:
  virtual void on_iteration(const iteration& it) = 0;

 protected:
  ~iteration_sink() = default;
};

// Sinks get each iteration in the order they were added. A sink is in the
// list at most once; removing one that is not there does nothing. Neither
// may be called from on_iteration(). Without an engine: the default one's.
struct engine;
void add_iteration_sink(iteration_sink& sink);
void remove_iteration_sink(iteration_sink& sink);
void add_iteration_sink(engine& e, iteration_sink& sink);
void remove_iteration_sink(engine& e, iteration_sink& sink);

// A sink in the list for as long as this lives.
class sink_registration {
 public:
  explicit sink_registration(iteration_sink& sink) : sink_(sink) { add_iteration_sink(sink); }
  ~sink_registration() { remove_iteration_sink(sink_); }
  sink_registration(const sink_registration&) = delete;
  sink_registration& operator=(const sink_registration&) = delete;

 private:
  iteration_sink& sink_;
};

// Hands `it` to every sink of the engine.
void hand_out(const engine& e, const iteration& it);

// The score writer: every iteration's lines to one stream.
class score_writer final : public iteration_sink {
 public:
  explicit score_writer(std::FILE* fp) : fp_(fp) {}
  void on_iteration(const iteration& it) override { write_note_lines(fp_, it.notes); }

 private:
  std::FILE* fp_;
};
