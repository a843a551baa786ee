#include "tools/render_live.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

#include "control/control_apply.h"
#include "control/control_log.h"
#include "engine/externs.h"
#include "engine/live/live.h"
#include "engine/report.h"
#include "platform/replacing_file.h"

namespace {

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
// How often the main thread looks at how play goes: the engine runs on a
// thread of its own, woken by the audio device and by controls.
constexpr std::chrono::milliseconds watch_interval{10};

// The signal that ends live play, 0 while none came.
volatile std::sig_atomic_t interrupted = 0;
void on_interrupt(int signal) { interrupted = signal; }

constexpr std::array<int, 3> stopping_signals{SIGINT, SIGTERM, SIGHUP};

// Each signal that ends play fades out first; one ignored from the start
// (nohup, trap '') stays ignored.
void catch_stopping_signals() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  for (const int signal : stopping_signals) {
    struct sigaction before {};
    if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

// /zelmora/stop ends play as Ctrl-C does; it comes on the engine's thread.
std::atomic<bool> stop_asked{false};
void note_effects(const control_effects& effects) {
  if (effects.stop) stop_asked.store(true);
  if (effects.play) control_log("already playing");
}

// One line on a terminal, a few times a second.
void show_progress(const live_player& player, bool last) {
  using clock = std::chrono::steady_clock;
  static clock::time_point shown;
  const auto now = clock::now();
  if (!last && now - shown < std::chrono::milliseconds(200)) return;
  shown = now;
  std::fprintf(stderr, "\rlive: iteration %d of %d, %.1f s, %d late, %d dropouts ",
               player.iteration() + 1, Current_State.iter, player.clock(),
               player.late_iterations(), player.dropouts());
  if (last) std::fputc('\n', stderr);
}

// Plays until the render has sounded or a stop or a signal ends it with a
// fade; the signal, 0 for none.
int play_until_done(live_player& player, bool progress) {
  while (player.update()) {
    if (interrupted != 0 || stop_asked.load()) {
      player.stop();
      break;
    }
    if (progress) show_progress(player, false);
    std::this_thread::sleep_for(watch_interval);
  }
  if (progress) show_progress(player, true);
  return interrupted;
}

void say_how_it_went(const live_player& player, bool verbose) {
  if (player.late_iterations() > 0 || player.dropouts() > 0)
    std::fprintf(stderr,
                 "zelmora-render: %d iterations were computed too late for their time; the "
                 "device played %d dropouts\n",
                 player.late_iterations(), player.dropouts());
  if (verbose)
    std::fprintf(stderr,
                 "zelmora-render: live: %d late, %d dropouts, csound used %.2f CPU-s for %.2f s "
                 "of sound played in %.2f s on %s\n",
                 player.late_iterations(), player.dropouts(), player.csound_cpu(),
                 player.played(), player.wall_time(), player.output().c_str());
}

}  // namespace

int render_live(const live_render_options& opt) {
  std::optional<replacing_file> score;
  live_settings settings;
  settings.orchestra = opt.orchestra;
  settings.rtaudio = opt.rtaudio;
  settings.connect = opt.connect;
  settings.sync = opt.sync;
  settings.grain_beats = opt.grain_beats;
  if (!opt.score.empty()) {
    score.emplace(opt.score);
    if (!score->stream()) {
      report_file_error("Can't open file", opt.score, score->error());
      return exit_failed;
    }
    settings.score = score->stream();
  }
  // Controls that came meanwhile are applied as the engine wakes, and at
  // each iteration.
  settings.on_wake = [] { note_effects(apply_controls(true)); };
  apply_controls_at_iterations(note_effects);
  catch_stopping_signals();
  live_player player;
  if (player.start(settings) != 0) return exit_failed;
  const int signal = play_until_done(player, isatty(STDERR_FILENO) != 0 && !opt.quiet);
  say_how_it_went(player, opt.verbose);
  if (signal == SIGTERM || signal == SIGHUP) return 128 + signal;
  if (score && !score->commit()) {
    report_file_error("Can't write file", opt.score, score->error());
    return exit_failed;
  }
  if (player.status() == live_device_lost) return exit_failed;
  if (player.status() == render_abandoned) {
    std::fputs("\nzelmora-render: render abandoned\n", stderr);
    return exit_failed;
  }
  return exit_ok;
}
