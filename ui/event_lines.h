// The Event List Editor's lines, one per event with its whole name, and
// the entries of its Add menu (event_add.cpp).
#pragma once

#include <Xm/Xm.h>

#include <string>

std::string change_line(const std::string& name, int time);
// A new glide's line: "->" before the name.
std::string new_interp_line(const std::string& name, int time, int length);
// A stored event's line; a glide's name already begins with "->".
std::string stored_line(const std::string& name, int type, int time, int length);
void append_line(const std::string& line);

// The time a new event gets: right after the last one, when a glide has
// ended or one iteration after a change or reseed; 0 for the first.
int next_event_time();
int clamped_int(long long value);

void cb_load_event_p(Widget w, XtPointer client_data, XtPointer call_data);
void cb_reseed_event(Widget w, XtPointer client_data, XtPointer call_data);
void cb_interpolate_event(Widget w, XtPointer client_data, XtPointer call_data);
