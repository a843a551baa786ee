// The States window and its Auto-set dialog.
#pragma once

#include <Xm/Xm.h>

#include "ui/slider_window.h"

extern Widget states;  // the shell; the field of the same name is Current_State.states
extern Widget state_form, state_holder;
extern slider_row state_sliders;  // s0 .. s99, the first Ns shown
extern Widget frequency_lock, frequency_disp, reset_frequencys, quit_frequencys;
extern Widget auto_set_freq_shell, auto_set_freq_form, freq_auto_start, freq_auto_mul;

void create_states(Widget parent);
void create_auto_set_freq_shell(Widget parent);
void set_all_frequencies();
void modify_freq(int num, double position);
void cb_pop_states(Widget w, XtPointer client_data, XtPointer call_data);

// Callbacks of the window and its dialog.
void cb_set_frequency(Widget w, XtPointer client_data, XtPointer call_data);
void cb_freq_lock(Widget w, XtPointer client_data, XtPointer call_data);
void cb_reset_frequency(Widget w, XtPointer client_data, XtPointer call_data);
void cb_quit_states(Widget w, XtPointer client_data, XtPointer call_data);
void cb_auto_set_freq(Widget w, XtPointer client_data, XtPointer call_data);
void cb_auto_set_freq_ok(Widget w, XtPointer client_data, XtPointer call_data);
void cb_auto_set_freq_cancel(Widget w, XtPointer client_data, XtPointer call_data);
