// When live play computes each iteration: just in time. The engine's
// thread sleeps until the audio side's clock reaches the next iteration's
// start less the look-ahead (about one period of the device: what the next
// period needs), wakes, computes every iteration then due and queues its
// notes, and sleeps again. A change made meanwhile reaches the first
// iteration computed after it. The clock is csound's, moved on by the
// device's own (JACK's frame clock; a freewheeling server waits for the
// engine, so that a render is played whole, faster than real time).
//
// Iteration t sounds at its start time in the offline score, counted from
// the origin, csound's time when play began: with nothing touched, live
// play and the offline score are the same music.
#pragma once

#include <functional>
#include <mutex>
#include <thread>

#include "engine/engine.h"
#include "engine/live/live_session.h"
#include "engine/mapping/beat_grid.h"
#include "engine/render/render.h"

struct live_schedule_settings {
  double look_ahead = 0;  // seconds of csound's clock
  // Held while an iteration is computed, when the engine is shared with
  // another thread (the windows'); none otherwise.
  std::recursive_timed_mutex* engine_lock = nullptr;
  // Called on the engine's thread at each wake-up, the lock held, before
  // any iteration: a program applies the controls that came meanwhile.
  std::function<void()> on_wake;
  int priority = 0;  // real-time priority of the engine's thread; 0: none
  bool until_stopped = false;  // whatever the set's iteration count
};

class live_schedule {
 public:
  // Starts the render of `e` (notes to `s`), computes what is due at once
  // and starts the engine's thread. The caller holds the engine lock.
  live_schedule(engine& e, live_session& s, const live_schedule_settings& settings);
  // Stops the thread; the render computes nothing more.
  ~live_schedule();
  live_schedule(const live_schedule&) = delete;
  live_schedule& operator=(const live_schedule&) = delete;

  // Wakes the engine's thread now (a control came).
  void wake() { session_.engine_wake.post(); }
  // r1 or r2 of 0 ended the render.
  bool abandoned() const { return abandoned_.load(); }
  // Every iteration is computed and the last has sounded, `tail` seconds
  // of csound's clock past its end.
  bool played_out(double tail) const;

 private:
  void run();
  void compute_due();
  void compute_started();
  void compute_iteration();
  bool lock_engine();
  void unlock_engine();

  live_session& session_;
  live_schedule_settings settings_;
  render_run run_;
  std::atomic<bool> abandoned_{false};
  beat_grid grid_before_;  // the engine's, given back when synced play ends
  std::thread thread_;
};

// Where the notes computed so far end, on csound's clock.
double computed_end(const render_run& run, double origin);
