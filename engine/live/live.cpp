#include "engine/live/live.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "dsp/limiter.h"
#include "engine/live/jack_host.h"
#include "engine/live/live_audio.h"
#include "engine/live/live_schedule.h"
#include "engine/live/live_session.h"
#include "engine/live/live_setup.h"
#include "engine/report.h"
#include "platform/interrupt.h"

namespace {

constexpr double fade_time = 0.05;  // seconds from full level to silence
constexpr double stop_wait = 0.5;   // the most stop() waits for the fade
// csound's module that took no sound for this long is stuck in a dead device.
constexpr double module_stall_limit = 5.0;
// csound's module runs its periods in bursts, as its device takes a buffer
// of them: the notes are computed that far ahead.
constexpr double module_look_ahead = 0.03;

// The frames the voices' opcode and the Master hold a note back before it
// sounds, which the JACK ports report as their own latency: one control
// period late and the limiter's delay.
int own_latency(const live_session& s) { return s.ksmps * (1 + look_ahead_limiter::look); }

std::string joined(const std::vector<std::string>& words, const char* between) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : between) + word;
  return text;
}

}  // namespace

// One play: its session and whatever drives it.
struct live_run {
  std::shared_ptr<live_session> session;
  std::unique_ptr<live_performer> performer;  // csound's own module
  std::unique_ptr<live_schedule> schedule;
  int dropouts_before = 0;  // the JACK client's, when play began
};

void live_player::jack_closer::operator()(jack_host* h) const { jack_host::closer{}(h); }

live_player::live_player(engine& e) : engine_(e) {}

live_player::~live_player() { stop(); }

bool live_player::open_jack(const live_settings& settings, std::string& why) {
  if (jack_ && (!jack_->alive() || jack_->asked_name() != settings.client_name)) jack_.reset();
  if (!jack_) {
    jack_host::pointer opened = jack_host::open(settings.client_name, settings.connect, why);
    if (!opened) return false;
    jack_.reset(opened.release());
  }
  return true;
}

// The output named, else the first that works; one line names what was
// tried when none does.
bool live_player::open_output(const live_settings& settings, live_session& s) {
  std::vector<std::string> candidates{settings.rtaudio};
  const bool synced = settings.sync != live_sync::none;
  if (synced && !settings.rtaudio.empty() && settings.rtaudio != "jack") {
    report_error("Live play failed: following a tempo from outside plays on jack only\n");
    return false;
  }
  if (synced)
    candidates.assign({"jack"});
  else if (settings.rtaudio.empty())
    candidates.assign(std::begin(live_automatic_outputs), std::end(live_automatic_outputs));
  const std::vector<std::string> modules = live_audio_modules();
  std::vector<std::string> tried;
  for (const std::string& module : candidates) {
    if (std::find(modules.begin(), modules.end(), module) == modules.end()) {
      if (!settings.rtaudio.empty()) {
        report_error("Live play: csound has no audio module \"%s\"; it has: %s\n", module.c_str(),
                     joined(modules, ", ").c_str());
        return false;
      }
      continue;
    }
    std::string why;
    const bool jack = module == "jack";
    if (jack && !open_jack(settings, why)) {
      tried.push_back("jack: " + why);
      continue;
    }
    const live_output output{jack ? "" : module, jack ? jack_->rate() : 0.0};
    const live_setup result = set_up_csound(s, settings, output, why);
    if (result == live_setup::ready) {
      output_ = jack ? jack_->name() : module;
      if (!jack) jack_.reset();  // another output: the client goes
      return true;
    }
    if (result == live_setup::refused) {
      if (!why.empty()) report_error("Live play failed: %s\n", why.c_str());
      return false;
    }
    tried.push_back(module + ": " + why);
  }
  report_error("Live play failed: no audio output (tried %s)\n", joined(tried, "; ").c_str());
  return false;
}

// On JACK, the notes the next period plays (csound takes what is queued
// before each control period, the voices hold a note back a period); the
// engine's thread just below the server's own priority.
live_schedule_settings live_player::schedule_for(const live_settings& settings) const {
  live_schedule_settings plan{module_look_ahead, settings.engine_lock, settings.on_wake,
                              live_engine_priority, settings.until_stopped};
  if (jack_) {
    plan.look_ahead = jack_->period() / jack_->rate();
    if (jack_->priority() > 1) plan.priority = jack_->priority() - 1;
  }
  return plan;
}

int live_player::start(const live_settings& settings) {
  if (run_) {
    report_error("Live play is already running\n");
    return -1;
  }
  status_ = render_complete;
  late_ = dropouts_ = 0;
  cpu_ = played_ = wall_ = 0.0;
  const csound_api* api = live_csound_api();
  if (!api) return -1;
  // Covers the threads libjack and the audio modules start; the signals
  // that end the program are left to its main thread.
  const broken_pipe_guard quiet_pipes;
  const interrupt_guard no_signals;
  auto run = std::make_unique<live_run>();
  try {
    run->session = std::make_shared<live_session>(*api);
    if (!open_output(settings, *run->session)) return -1;
    begin(*run, settings);
  } catch (const std::exception& failure) {  // no thread or no memory to be had
    const bool memory = dynamic_cast<const std::bad_alloc*>(&failure) != nullptr;
    report_error("Live play failed: %s\n", memory ? "out of memory" : failure.what());
    if (run->session && run->session->csound) {
      run_ = std::move(run);
      end(render_complete);
    }
    return -1;
  }
  run_ = std::move(run);
  set_live_signal_fade(run_->session.get());
  return 0;
}

void live_player::begin(live_run& run, const live_settings& settings) {
  live_session& s = *run.session;
  // The instruments' first period (their set-up allocates) before any
  // real-time thread plays them.
  perform_period(s);
  s.design = &engine_.grain;
  if (s.inbox) {
    s.inbox->design = s.design_sent = engine_.grain;
    s.inbox->design_waiting = true;
  }
  s.score = settings.score;
  if (s.score) std::fputs(score_header, s.score);
  s.synced = settings.sync != live_sync::none;
  s.by_midi_clock = settings.sync == live_sync::midi;
  s.grain_beats = settings.grain_beats;
  add_iteration_sink(engine_, s);
  run.schedule = std::make_unique<live_schedule>(engine_, s, schedule_for(settings));
  if (jack_) {
    run.dropouts_before = jack_->dropouts();
    // Synced, the grains are decided a period ahead of when they sound.
    jack_->attach(s, own_latency(s) + (s.synced ? static_cast<int>(jack_->period()) : 0));
  } else {
    run.performer = std::make_unique<live_performer>(run.session);
  }
}

void live_player::wake() {
  if (run_) run_->session->engine_wake.post();
}

bool live_player::update() {
  if (!run_) return false;
  live_session& s = *run_->session;
  const bool stuck = run_->performer && run_->performer->quiet_for(module_stall_limit);
  // A server gone before play was attached to it never told the session.
  if (jack_ && !jack_->alive()) s.device_lost.store(true);
  if (s.device_lost.load() || s.failed.load() || stuck) {
    report_error("Live play ended: the audio device stopped playing (%s)\n",
                 s.device_lost.load() ? "its server went away"
                 : stuck              ? "no sound taken for a while"
                                      : "csound gave up on it");
    end(live_device_lost);
    return false;
  }
  if (s.synced) tell_sync_wait(s);
  if (run_->schedule->played_out(fade_time)) {
    end(run_->schedule->abandoned() ? render_abandoned : render_complete);
    return false;
  }
  return true;
}

// Each reason synced play waits for, told once a play.
void live_player::tell_sync_wait(live_session& s) {
  const int state = s.sync_state.load();
  if (state < 0 || (s.waits_said & (1u << state)) != 0) return;
  s.waits_said |= 1u << state;
  if (const char* message = sync_wait_message(static_cast<sync_wait>(state), s.by_midi_clock))
    report_error("%s", message);
}

void live_player::stop() {
  if (!run_) return;
  live_session& s = *run_->session;
  s.stop.store(true);
  s.gain.store(0.0);
  const double until = s.clock.load() + fade_time;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::duration<double>(stop_wait);
  while (s.clock.load() < until && !s.device_lost.load() && !s.failed.load() &&
         std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  end(run_->schedule->abandoned() ? render_abandoned : status_);
}

// Nothing of the play runs once this returns (but a performer stuck in a
// dead device, which keeps its session and csound).
void live_player::end(int status) {
  std::unique_ptr<live_run> run = std::move(run_);
  live_session& s = *run->session;
  set_live_signal_fade(nullptr);
  run->schedule.reset();  // the engine's thread stops
  s.stop.store(true);
  remove_iteration_sink(engine_, s);
  late_ = s.late.load();
  played_ = s.clock.load() - s.origin;
  wall_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - s.began).count();
  status_ = status;
  if (s.score && std::ferror(s.score) != 0 && status_ == render_complete)
    status_ = render_write_failed;
  if (jack_) {
    jack_->detach();
    dropouts_ = jack_->dropouts() - run->dropouts_before;
  }
  if (run->performer) {
    run->performer->stop();
  } else {
    const broken_pipe_guard quiet_pipes;
    s.api.cleanup(s.csound);
    s.api.destroy(s.csound);
    s.csound = nullptr;
  }
  dropouts_ += s.dropouts.load();
  cpu_ = s.cpu.load();
}

int live_player::late_iterations() const { return run_ ? run_->session->late.load() : late_; }

int live_player::dropouts() const {
  if (!run_) return dropouts_;
  const int jack = jack_ ? jack_->dropouts() - run_->dropouts_before : 0;
  return jack + run_->session->dropouts.load();
}

int live_player::iteration() const { return run_ ? run_->session->last_iteration.load() : -1; }

double live_player::clock() const {
  return run_ ? run_->session->clock.load() - run_->session->origin : 0.0;
}

std::string live_rtaudio_from_environment() {
  const char* module = std::getenv("ZELMORA_RTAUDIO");
  return module ? module : "";
}

std::vector<std::string> live_audio_modules() {
  std::vector<std::string> modules{"jack"};
  for (std::string& module : csound_audio_modules()) modules.push_back(std::move(module));
  return modules;
}
