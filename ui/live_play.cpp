// Play Live and Stop. The engine computes the notes on a thread of its own,
// so that nothing the toolkit does (a file dialog reading a large
// directory, a redraw) keeps the notes from their time. The two share the
// engine under one lock: the toolkit's thread holds it while it handles an
// event, the engine's while it computes an iteration. Whatever the engine
// would show meanwhile (the counter, the panel after an event, the grid)
// waits for the next tick of a timer, on the toolkit's thread.
#include <Xm/Xm.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/externs.h"
#include "engine/render/render.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/Xlive.h"
#include "ui/grain_window.h"
#include "ui/messages.h"
#include "ui/render_job.h"
#include "ui/widgets.h"
#include "ui/startup.h"

Widget play_live_button, stop_live_button;
live_settings Live_Settings;

namespace {

// Of the engine the windows show; made on first use, so that it stops a
// play still running at exit before the engine goes.
live_player& player() {
  static live_player windows_player;
  return windows_player;
}

constexpr unsigned long tick_ms = 20;  // what waits for the toolkit waits this long at most
XtIntervalId timer = 0;

const std::thread::id toolkit_thread = std::this_thread::get_id();

// What the engine's thread left for the toolkit's to show.
enum pending : unsigned { panel = 1, frequencies = 2, amplitudes = 4, grain = 8, grid = 16 };
std::atomic<unsigned> pending_views{0};

// The offline commands share the engine's render and grids: greyed out
// while live play runs.
std::vector<Widget> offline_entries;

void show_playing(bool playing) {
  for (Widget w : offline_entries) XtSetSensitive(w, !playing);
  XtSetSensitive(play_live_button, !playing);
  XtSetSensitive(stop_live_button, playing);
  if (play_button) set_label(play_button, playing ? "Stop" : "Play");
}

void show_pending() {
  const unsigned views = pending_views.exchange(0);
  if (views & panel) set_control();
  if (views & frequencies) set_all_frequencies();
  if (views & amplitudes) set_all_amplitudes();
  if (views & grain) set_grain_window();
  if (views & grid) draw_kept_automaton();
  if (player().playing()) show_counter(player().iteration());
}

// "3 late iterations, 1 dropout" under the counter, and on standard error.
void report_how_it_went(int late, int dropouts) {
  std::string text;
  if (late > 0) text = std::to_string(late) + (late == 1 ? " late iteration" : " late iterations");
  if (dropouts > 0)
    text += (text.empty() ? "" : ", ") + std::to_string(dropouts) +
            (dropouts == 1 ? " dropout" : " dropouts");
  show_notice(text);
  if (!text.empty()) std::fprintf(stderr, "Live play: %s\n", text.c_str());
}

// When play ends the windows show what the next render starts from.
void finished() {
  timer = 0;
  show_playing(false);
  show_pending();
  show_final_grid();
  set_control();
  set_all_frequencies();
  set_all_amplitudes();
  report_how_it_went(player().late_iterations(), player().dropouts());
}

void tick(XtPointer, XtIntervalId*) {
  const std::lock_guard<std::recursive_timed_mutex> hold(windows_engine_lock());
  show_pending();
  if (player().update())
    timer = XtAppAddTimeOut(app_context, tick_ms, tick, nullptr);
  else
    finished();
}

void play(bool until_stopped) {
  if (player().playing()) return;
  take_typed_values();
  clear_render_news();
  live_settings settings = Live_Settings;
  settings.rtaudio = live_module_for(settings.rtaudio);
  if (!settings.score) settings.score = begin_take();
  settings.until_stopped = until_stopped;
  settings.engine_lock = &windows_engine_lock();
  if (player().start(settings) != 0) return;
  show_playing(true);
  timer = XtAppAddTimeOut(app_context, tick_ms, tick, nullptr);
}

// Whether to show it now, or leave it for the next tick.
bool shown_later(unsigned view) {
  if (std::this_thread::get_id() == toolkit_thread) return false;
  pending_views.fetch_or(view);
  return true;
}

}  // namespace

std::recursive_timed_mutex& windows_engine_lock() {
  static std::recursive_timed_mutex lock;
  return lock;
}

void connect_live_play(Widget play_live, Widget stop, std::initializer_list<Widget> offline) {
  play_live_button = play_live;
  stop_live_button = stop;
  offline_entries.assign(offline.begin(), offline.end());
  XtSetSensitive(stop_live_button, False);
}

void cb_play_live(Widget, XtPointer, XtPointer) { play(true); }

void cb_play_render_live(Widget, XtPointer, XtPointer) { play(false); }

void cb_play_or_stop(Widget, XtPointer, XtPointer) {
  if (live_playing())
    cb_stop_live(nullptr, nullptr, nullptr);
  else if (XtIsSensitive(play_live_button))  // not while a render runs
    cb_play_live(nullptr, nullptr, nullptr);
}

void cb_stop_live(Widget, XtPointer, XtPointer) {
  if (!player().playing()) return;
  if (timer != 0) XtRemoveTimeOut(timer);
  player().stop();
  finished();
}

bool live_playing() { return player().playing(); }

int live_iteration() { return player().playing() ? player().iteration() : Current_Iteration; }

void wake_live_engine() { player().wake(); }

void set_control_anywhere() {
  if (!shown_later(panel)) set_control();
}
void set_all_frequencies_anywhere() {
  if (!shown_later(frequencies)) set_all_frequencies();
}
void set_all_amplitudes_anywhere() {
  if (!shown_later(amplitudes)) set_all_amplitudes();
}
void set_grain_window_anywhere() {
  if (!shown_later(grain)) set_grain_window();
}
void show_counter_anywhere(int iteration) {
  if (std::this_thread::get_id() == toolkit_thread) show_counter(iteration);
}
void show_automaton_anywhere(const iteration& it) {
  if (std::this_thread::get_id() == toolkit_thread) {
    show_automaton(it);
  } else if (keep_automaton(it)) {
    pending_views.fetch_or(grid);
  }
}
