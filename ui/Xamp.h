// The Instruments window and its Auto-set dialog.
#pragma once

#include <Xm/Xm.h>

#include "ui/slider_window.h"

extern Widget instruments;
extern Widget instrument_form, instrument_holder;
extern slider_row instrument_sliders;  // i0 .. i99, the first noinstrm shown
extern Widget amplitude_lock, amplitude_disp, reset_amplitudes, quit_amplitudes;
extern Widget auto_set_amp_shell, auto_set_amp_form, amp_auto_start, amp_auto_inc;

void create_instruments(Widget parent);
void create_auto_set_amp_shell(Widget parent);
void set_all_amplitudes();
void modify_amp(int num, double position);
void cb_pop_instruments(Widget w, XtPointer client_data, XtPointer call_data);

// Callbacks of the window and its dialog.
void cb_set_amplitude(Widget w, XtPointer client_data, XtPointer call_data);
void cb_amp_lock(Widget w, XtPointer client_data, XtPointer call_data);
void cb_reset_amplitude(Widget w, XtPointer client_data, XtPointer call_data);
void cb_quit_instrm(Widget w, XtPointer client_data, XtPointer call_data);
void cb_auto_set_amp(Widget w, XtPointer client_data, XtPointer call_data);
void cb_auto_set_amp_ok(Widget w, XtPointer client_data, XtPointer call_data);
void cb_auto_set_amp_cancel(Widget w, XtPointer client_data, XtPointer call_data);
