// Outside control in the windows: OSC, MIDI and the session manager, as
// the options -osc-port [ADDR:]N, -osc-send HOST:PORT, -midi alsa|jack (resources
// oscPort, oscSend, midi) ask. Changes are applied on the toolkit's thread
// (a pipe wakes it) and move the widgets. With MIDI, the "MIDI" window's
// "Learn" toggle binds the next moved scale or slider to the next
// controller received.
#pragma once

#include <X11/Intrinsic.h>

// Starts what the resources ask for: 0, or (reported) 2 for a setting that
// is not one, 1 when what it asks for could not be started.
int start_outside_control_windows(Widget top);

// Reports moves of `scale` to Learn as moves of the control named `target`
// (a binding's name: "jitter", ...).
void learn_from(Widget scale, const char* target);

// The Learn toggle, when MIDI is on; null otherwise.
extern Widget learn_toggle;

// Mapping -> "MIDI": shows the MIDI window (Learn and the bindings).
void cb_pop_midi(Widget w, XtPointer client_data, XtPointer call_data);
