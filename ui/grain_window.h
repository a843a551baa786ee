// The "Grain" window: the grain design's wave, window, overlap, jitter,
// width, space and limiter, reached from the control panel's Mapping menu.
#pragma once

#include <X11/Intrinsic.h>

void create_grain(Widget parent);
void cb_pop_grain(Widget w, XtPointer client_data, XtPointer call_data);
// Shows Grain_Design (after a load, an undo or a change from outside).
void set_grain_window();
