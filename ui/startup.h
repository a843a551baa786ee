// Start-up without the event loop: the program and the window tests build
// the interface through the same function.
#pragma once

#include <X11/Intrinsic.h>

extern XtAppContext app_context;
extern Display* display;

// Opens the display, sets the defaults, builds every window and dialog,
// realises the control panel and fills the widgets from Current_State.
// The toolkit removes the options it knows from argc and argv. Without a
// display it prints "%s: can't open display, exiting...\n" and returns
// false, having built nothing.
bool build_interface(int& argc, char** argv);
