// Play Live and Stop: an Xt timer keeps the notes the look-ahead ahead of
// csound's clock, so the windows stay live and every control takes effect
// from the next iteration computed.
#include <Xm/Xm.h>

#include <vector>

#include "engine/externs.h"
#include "engine/render/render.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/Xlive.h"
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

constexpr unsigned long tick_ms = 10;  // well inside the look-ahead
XtIntervalId timer = 0;

// The offline commands share the engine's render and grids: greyed out
// while live play runs.
std::vector<Widget> offline_entries;

void show_playing(bool playing) {
  for (Widget w : offline_entries) XtSetSensitive(w, !playing);
  XtSetSensitive(play_live_button, !playing);
  XtSetSensitive(stop_live_button, playing);
  if (play_button) set_label(play_button, playing ? "Stop" : "Play");
}

// When play ends the windows show what the next render starts from.
void finished() {
  timer = 0;
  show_playing(false);
  show_final_grid();
  set_control();
  set_all_frequencies();
  set_all_amplitudes();
  report_late_iterations(player().late_iterations());
}

void tick(XtPointer, XtIntervalId*) {
  if (player().feed())
    timer = XtAppAddTimeOut(app_context, tick_ms, tick, nullptr);
  else
    finished();
}

}  // namespace

void connect_live_play(Widget play_live, Widget stop, std::initializer_list<Widget> offline) {
  play_live_button = play_live;
  stop_live_button = stop;
  offline_entries.assign(offline.begin(), offline.end());
  XtSetSensitive(stop_live_button, False);
}

void cb_play_live(Widget, XtPointer, XtPointer) {
  if (player().playing()) return;
  take_typed_values();
  clear_render_news();
  live_settings settings = Live_Settings;
  settings.rtaudio = live_module_for(settings.rtaudio);
  if (!settings.score) settings.score = begin_take();
  if (player().start(settings) != 0) return;
  show_playing(true);
  timer = XtAppAddTimeOut(app_context, tick_ms, tick, nullptr);
}

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
