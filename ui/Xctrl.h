// The control panel's widgets and operations.
#pragma once

#include <Xm/Xm.h>

extern Widget Ctrl_pannel;
extern Widget r1, r2, k, x, y;
extern Widget duration, dur_down, dur_up, counter, halt_at;
extern Widget save_parameters, save_event_list, Load_events, csound_button;
extern Widget Mapping, state_button, instrument_button, event_button;
// The frames of the automaton's parameters and of the grid size, and the
// Play/Stop button.
extern Widget parameter_group, grid_group, play_button;

void create_Ctrl_pannel(Display* display, const char* app_name, int argc, char** argv);
void set_control();
// The Mean/Mode menu shows Mean_Mode (a load or an undo may change it).
void show_reduction();
// The counter field during a render.
void show_counter(int iteration);

// Callbacks of the control panel's own controls.
void cb_set_r1(Widget w, XtPointer client_data, XtPointer call_data);
void cb_set_r2(Widget w, XtPointer client_data, XtPointer call_data);
void cb_set_k(Widget w, XtPointer client_data, XtPointer call_data);
void cb_set_grid_x(Widget w, XtPointer client_data, XtPointer call_data);
void cb_set_grid_y(Widget w, XtPointer client_data, XtPointer call_data);
void cb_dec_dur(Widget w, XtPointer client_data, XtPointer call_data);
void cb_inc_dur(Widget w, XtPointer client_data, XtPointer call_data);
void cb_mean_button(Widget w, XtPointer client_data, XtPointer call_data);
void cb_mode_button(Widget w, XtPointer client_data, XtPointer call_data);
void cb_set_halt_time(Widget w, XtPointer client_data, XtPointer call_data);
// Text typed into "Stop at" or the duration is taken without Return too:
// when the field loses the focus, and before a render or a save reads the
// set. A number that is refused is said, and the field shows the value kept.
void take_typed_values();
void cb_take_typed_values(Widget w, XtPointer client_data, XtPointer call_data);
void cb_ZUX_turbo(Widget w, XtPointer client_data, XtPointer call_data);
void cb_quit_zelmora(Widget w, XtPointer client_data, XtPointer call_data);
