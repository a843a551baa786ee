#include "engine/live/live.h"

#include <chrono>
#include <thread>

#include "dsp/note.h"
#include "engine/live/live_session.h"
#include "engine/live/live_setup.h"
#include "engine/report.h"
#include "platform/interrupt.h"

namespace {

constexpr double fade_time = 0.05;  // seconds from full level to silence
constexpr std::chrono::milliseconds feed_budget{20};

// Where the notes computed so far end, on csound's clock.
double computed_end(const live_session& s) {
  return s.origin + (s.run.next == 0 ? 0.0 : s.run.start + s.run.dur);
}

}  // namespace

live_player::live_player(engine& e) : engine_(e) {}

live_player::~live_player() { stop(); }

int live_player::start(const live_settings& settings) {
  if (session_) {
    report_error("Live play is already running\n");
    return -1;
  }
  late_ = 0;
  status_ = render_complete;
  cpu_ = 0.0;
  played_ = 0.0;
  wall_ = 0.0;
  return start_session(settings) ? 0 : -1;
}

bool live_player::start_session(const live_settings& settings) {
  const csound_api* api = live_csound_api();
  if (!api) return false;
  // Covers the threads the audio module starts, and the performer.
  const broken_pipe_guard quiet_pipes;
  auto s = std::make_shared<live_session>(*api);
  if (!set_up_csound(*s, settings)) return false;
  s->design = &engine_.grain;
  if (s->inbox) {
    s->inbox->design = s->design_sent = engine_.grain;
    s->inbox->design_waiting = true;
  }
  s->score = settings.score;
  if (s->score) std::fputs(score_header, s->score);
  start_performer(s);
  s->run = start_render(engine_);
  s->computing = s->run.iterations > 0;
  s->origin = s->clock.load() + live_look_ahead;
  add_iteration_sink(engine_, *s);
  session_ = std::move(s);
  return true;
}

void live_player::compute_iteration(double now) {
  live_session& s = *session_;
  const bool go_on = render_iteration(s.run);
  if (s.origin + s.run.start < now) ++late_;
  if (!go_on) {
    status_ = render_abandoned;
    s.computing = false;
  } else if (s.run.next >= s.run.iterations) {
    s.computing = false;
  }
}

bool live_player::feed() {
  if (!session_) return false;
  live_session& s = *session_;
  const double now = s.clock.load();
  // A caller with windows to serve gets control back now and then, even
  // when csound's clock runs faster than the iterations can be computed.
  const auto budget_end = std::chrono::steady_clock::now() + feed_budget;
  while (s.computing && !s.ended.load() && computed_end(s) <= now + live_look_ahead &&
         s.queue.size() + max_instruments <= live_note_queue::capacity &&
         std::chrono::steady_clock::now() < budget_end)
    compute_iteration(now);
  // The audio device gone, say: csound gave up, or hangs in it.
  if (s.failed.load() || s.performer_gone_quiet()) {
    report_error("Live play ended: the audio device stopped playing (%s)\n%s",
                 s.failed.load() ? "csound gave up on it" : "no sound taken for a while",
                 s.messages.last_lines(1).c_str());
    status_ = live_device_lost;
    end_session();
    return false;
  }
  if (!s.computing && now >= computed_end(s) + fade_time) {
    end_session();
    return false;
  }
  return true;
}

void live_player::stop() {
  if (!session_) return;
  live_session& s = *session_;
  s.computing = false;
  s.gain.store(0.0);
  const double until = s.clock.load() + fade_time;
  const auto give_up =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(live_stop_wait);
  while (!s.ended.load() && s.clock.load() < until && !s.performer_gone_quiet() &&
         std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  end_session();
}

double live_player::clock() const {
  return session_ ? session_->clock.load() - session_->origin : 0.0;
}

// A performer stuck in a dead audio device is left where it is, with its
// session.
void live_player::end_session() {
  std::shared_ptr<live_session> s = std::move(session_);
  remove_iteration_sink(engine_, *s);
  played_ = s->clock.load() - s->origin;
  wall_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - s->began).count() -
          live_look_ahead;
  if (s->score && std::ferror(s->score) != 0 && status_ == render_complete)
    status_ = render_write_failed;
  if (const std::optional<double> cpu = end_performer(*s)) cpu_ = *cpu;
}
