// The control panel's widgets and operations.
#pragma once

#include <Xm/Xm.h>

extern Widget Ctrl_pannel;
extern Widget r1, r2, k, x, y;
extern Widget duration, dur_down, dur_up, counter, halt_at;
extern Widget save_parameters, save_event_list, Load_events, csound_button;
extern Widget Mapping, state_button, instrument_button, event_button;

void create_Ctrl_pannel(Display* display, const char* app_name, int argc, char** argv);
void set_control();
// The counter field during a render.
void show_counter(int iteration);
