// Live play and the Automaton window.
#pragma once

#include <Xm/Xm.h>

#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <string>

#include "engine/render/iteration.h"
#include "engine/live/live.h"
#include "engine/types.h"

extern Widget automaton_shell;   // the Automaton window
extern Widget automaton_area;    // its drawing area
extern Widget automaton_blocks;  // the block overlay toggle
extern Widget play_live_button, stop_live_button;
// What Play Live starts with: csound's audio module and, if set, a stream
// that gets the notes sent.
extern live_settings Live_Settings;

void create_automaton(Widget parent);
// The menu entries: Play Live and Stop, and the Output menu's entries that
// share the engine's render, greyed out while live play runs.
void connect_live_play(Widget play_live, Widget stop, std::initializer_list<Widget> offline);

// Live play's audio module and JACK connection, read into Live_Settings:
// the module from the X resource *rtaudio (the option -rtaudio MODULE)
// when given, else the Audio menu's choice kept in the settings file, by
// default "automatic"; the connection from *connect (-noconnect); the
// tempo and transport followed from *sync (-sync jack|midi).
void read_live_resources(Widget top);

// The Output menu's "Audio" choice: Automatic, JACK, PulseAudio, ALSA.
// A choice is kept in the settings file for the next run.
constexpr const char* audio_automatic = "automatic";
void build_audio_menu(Widget output_menu);
// The module live play is given for a choice. Until live play picks a
// module itself, "automatic" is $ZELMORA_RTAUDIO, else csound's default.
std::string live_module_for(const std::string& choice);

// The take of a live play: begin_take() starts a new one (the stream live
// play writes its notes' score to); save_take() writes the take so far to
// `name`, replacing it only when all was written (reported otherwise). A
// sound file's name (.wav, .aiff, ...) gets the sound csound renders from
// the take, in the background as Audio File does; true once that began.
std::FILE* begin_take();
bool save_take(const std::string& name);
void cb_save_take(Widget w, XtPointer client_data, XtPointer call_data);

// Whether the windows' live play is playing.
bool live_playing();

// Play Live plays until Stop; Audio Output plays the render, to Stop at.
void cb_play_live(Widget w, XtPointer client_data, XtPointer call_data);
void cb_play_render_live(Widget w, XtPointer client_data, XtPointer call_data);
// The control panel's Play/Stop button and the key Ctrl+P: stops live play,
// or starts it when nothing else renders.
void cb_play_or_stop(Widget w, XtPointer client_data, XtPointer call_data);
void cb_stop_live(Widget w, XtPointer client_data, XtPointer call_data);

// The engine the windows show is computed on a thread of its own while live
// play runs: the toolkit's thread holds this lock while it handles an event
// (or a timer or input callback that touches the engine), the engine's
// while it computes an iteration.
std::recursive_timed_mutex& windows_engine_lock();
// The iteration last computed: live play's, else the counter's.
int live_iteration();
// The engine's thread wakes now (a control came).
void wake_live_engine();

// The windows' views, called from whichever thread renders: from the
// toolkit's own they show at once, from live play's engine thread at the
// next tick of its timer.
void set_control_anywhere();
void set_all_frequencies_anywhere();
void set_all_amplitudes_anywhere();
void set_grain_window_anywhere();
void show_counter_anywhere(int iteration);
void show_automaton_anywhere(const iteration& it);
void cb_pop_automaton(Widget w, XtPointer client_data, XtPointer call_data);

// The window's sink for every render's grid: redraws at most ~30 times a
// second. keep_automaton() only copies the grid (true when it did, to be
// drawn by draw_kept_automaton()): what another thread may do.
void show_automaton(const iteration& it);
bool keep_automaton(const iteration& it);
void draw_kept_automaton();
// When a render has ended: its last grid, if the throttle skipped it, is
// kept and drawn, so the window never shows a stale grid afterwards.
void show_final_grid();
