// Live play and the Automaton window.
#pragma once

#include <Xm/Xm.h>

#include "engine/iteration.h"
#include "engine/live.h"
#include "engine/types.h"

extern Widget automaton_shell;   // the Automaton window
extern Widget automaton_area;    // its drawing area
extern Widget automaton_blocks;  // the block overlay toggle
extern Widget play_live_button, stop_live_button;
// What Play Live starts with: csound's audio module and, if set, a stream
// that gets the notes sent.
extern live_settings Live_Settings;

void create_automaton(Widget parent);
// The menu entries: Play Live and Stop need the Output menu's other entries
// to grey them out while live play runs.
void connect_live_play(Widget play_live, Widget stop);

void cb_play_live(Widget w, XtPointer client_data, XtPointer call_data);
void cb_stop_live(Widget w, XtPointer client_data, XtPointer call_data);
void cb_pop_automaton(Widget w, XtPointer client_data, XtPointer call_data);

// The window's sink for every render's grid: redraws at most ~30 times a
// second.
void show_automaton(const iteration& it);
// When a render has ended: its last grid, if the throttle skipped it, is
// kept and drawn, so the window never shows a stale grid afterwards.
void show_final_grid();
