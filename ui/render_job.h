// Audio File, and Csound for a long score, run as a job in the background:
// the automaton in slices between the toolkit's events, then csound as a
// child whose messages the toolkit watches. The control panel shows the
// whole job's progress with the time left and a Cancel that ends it at once.
#pragma once

#include <Xm/Xm.h>

#include <cstdio>
#include <functional>
#include <string>

extern Widget render_progress;  // the control panel's progress label
extern Widget cancel_render;    // and its Cancel button

// The label and the button, in `form` below `above`.
void build_render_progress(Widget form, Widget above);

// The sound file `name` from the render, csound in the background.
void start_sound_file_job(const std::string& name);
// The sound file `name` from a score made already (a take), csound in the
// background; false (said why) when it could not begin or another job runs.
bool start_score_sound_job(const std::string& name,
                           const std::function<bool(std::FILE*)>& write_score, double seconds);
// The score file `name` in the background.
void start_score_file_job(const std::string& name);

// A score long enough to be worth writing in the background; a short one
// is done before the user could do anything else.
bool long_score();

bool render_job_running();

// A new render or play begins: what the last one left under the counter
// ("Done", "Cancelled", late iterations) goes.
void clear_render_news();

// Cancel: csound stopped, the old file kept, no temporary left.
void cb_cancel_render(Widget w, XtPointer client_data, XtPointer call_data);
