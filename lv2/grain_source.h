// The automaton's side of an instance: its own engine and the render that
// runs on it, computed ahead of the sound on the host's worker thread (or,
// before any sound, on the thread that activates or restores the
// instance). Each iteration's notes go into the feed ring, timed on the
// voices' clock and tagged with the render's generation; run() plays them.
// Not thread-safe: the instance serialises every call.
//
// The render never ends by itself: a plugin plays as long as the host
// runs it, whatever the set's iteration count. Every restart seeds the
// grid as the offline renderer's first render does, so an instance sounds
// as `zelmora-render --sound` of its set.
#pragma once

#include <cstdint>

#include "control/bindings.h"
#include "engine/engine.h"
#include "engine/render/iteration.h"
#include "engine/render/render.h"
#include "lv2/requests.h"
#include "lv2/state_text.h"

class grain_source final : public iteration_sink {
 public:
  // The set a render starts from, with every control's change since it was
  // loaded: what the instance's state keeps.
  using start_set = parameter_text_set;

  grain_source(feed_ring& notes, design_ring& designs);
  ~grain_source();
  grain_source(const grain_source&) = delete;
  grain_source& operator=(const grain_source&) = delete;

  const start_set& start() const { return start_; }
  const engine& current() const { return engine_; }
  // The start set and, through the engine, the event list a load reads.
  start_set& start_for_load() { return start_; }
  engine& engine_for_load() { return engine_; }

  // Begins the render afresh from the start set, its first iteration at
  // `origin` on the voices' clock, its notes tagged `generation`.
  void restart(double origin, std::uint32_t generation);
  // The same render begins again where the notes computed so far end: a
  // loaded set or list takes over without a gap.
  void restart_in_place() { restart(rendered_until(), generation_); }

  // The controls of a request, then every iteration up to its time; a
  // request of a newer generation restarts the render first.
  void serve(const work_request& request);
  void compute_until(double until);

  // Where the notes computed so far end, on the voices' clock.
  double rendered_until() const;
  std::uint32_t generation() const { return generation_; }

  void on_iteration(const iteration& it) override;

 private:
  void apply_ports(const work_request& request);
  void apply_move(const controller_move& move);
  void change_both(const struct parameter_change& change);
  void change_design(int key, double value);

  feed_ring& notes_;
  design_ring& designs_;
  engine engine_;
  start_set start_;
  binding_table bindings_;  // the user's, as the program reads them
  render_run run_;
  double origin_ = 0;
  std::uint32_t generation_ = 0;
  bool ended_ = false;  // r1 or r2 of 0 stopped the render
};
