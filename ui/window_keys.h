// The keys every window of the program takes, whichever widget has the
// focus: Ctrl+Z undoes, Ctrl+Shift+Z redoes, Ctrl+P plays or stops. (A
// menu accelerator would reach the control panel only.)
#pragma once

#include <Xm/Xm.h>

// Gives the keys to every widget under `top`.
void take_window_keys(Widget top);
