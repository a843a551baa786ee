#include "engine/live/live_schedule.h"

#include <chrono>
#include <limits>

#include "engine/live/live_audio.h"
#include "engine/mapping/tuning.h"

namespace {

// The engine's thread looks at least this often whether it is to stop.
constexpr std::chrono::milliseconds idle_wait{50};
constexpr std::chrono::milliseconds lock_wait{5};

}  // namespace

double computed_end(const render_run& run, double origin) {
  return origin + (run.next == 0 ? 0.0 : run.start + run.dur);
}

live_schedule::live_schedule(engine& e, live_session& s, const live_schedule_settings& settings)
    : session_(s), settings_(settings), run_(start_render(e)) {
  if (settings.until_stopped) run_.iterations = std::numeric_limits<int>::max();
  s.origin = s.clock.load() + settings.look_ahead;
  s.computing.store(run_.iterations > 0);
  s.computed_end.store(s.origin);
  if (s.synced) {
    grid_before_ = tuning_of(e).beats;
    s.due_at.store(std::numeric_limits<double>::infinity());
  }
  compute_due();
  thread_ = std::thread(&live_schedule::run, this);
}

live_schedule::~live_schedule() {
  session_.stop.store(true);
  session_.engine_wake.post();
  thread_.join();
  session_.computing.store(false);
  session_.audio_wake.post();
  if (session_.synced) tuning_of(*run_.owner).beats = grid_before_;
}

bool live_schedule::played_out(double tail) const {
  return !session_.computing.load() && session_.clock.load() >= session_.computed_end.load() + tail;
}

void live_schedule::run() {
  if (settings_.priority > 0) try_real_time(settings_.priority);
  while (!session_.stop.load()) {
    session_.engine_wake.wait_for(idle_wait);
    if (session_.stop.load() || !lock_engine()) continue;
    if (settings_.on_wake) settings_.on_wake();
    compute_due();
    unlock_engine();
  }
}

// Never waits for the windows for good: a stop is seen within lock_wait.
bool live_schedule::lock_engine() {
  if (!settings_.engine_lock) return true;
  while (!settings_.engine_lock->try_lock_for(lock_wait))
    if (session_.stop.load()) return false;
  return true;
}

void live_schedule::unlock_engine() {
  if (settings_.engine_lock) settings_.engine_lock->unlock();
}

// Every iteration whose notes the next period may need, as room allows.
void live_schedule::compute_due() {
  live_session& s = session_;
  if (s.synced) return compute_started();
  while (s.computing.load() && !s.stop.load() &&
         s.computed_end.load() <= s.clock.load() + settings_.look_ahead &&
         s.queue.size() + max_instruments <= live_note_queue::capacity)
    compute_iteration();
  s.due_at.store(s.computed_end.load() - settings_.look_ahead);
  s.audio_wake.post();
}

// Synced: an iteration for each start the audio side decided, its grains
// a grid step long at the tempo it starts at.
void live_schedule::compute_started() {
  live_session& s = session_;
  sync_start start;
  while (s.computing.load() && !s.stop.load() &&
         s.queue.size() + max_instruments <= live_note_queue::capacity && s.starts.pop(start)) {
    tuning_of(*run_.owner).beats = {start.bpm, s.grain_beats};
    s.start_now = start.time;
    compute_iteration();
  }
  s.audio_wake.post();
}

void live_schedule::compute_iteration() {
  live_session& s = session_;
  const bool go_on = render_iteration(run_);
  s.last_iteration.store(run_.next - 1);
  const double start = s.synced ? s.start_now : s.origin + run_.start;
  s.computed_end.store(s.synced ? start + run_.dur : computed_end(run_, s.origin));
  // Computed once csound's clock had passed its start: its notes start late.
  if (start < s.clock.load()) s.late.fetch_add(1);
  if (!go_on) abandoned_.store(true);
  if (!go_on || run_.next >= run_.iterations) s.computing.store(false);
}
