// Start-up without the event loop: the program and the window tests build
// the interface through the same function.
#pragma once

#include <X11/Intrinsic.h>

extern XtAppContext app_context;
extern Display* display;

// Opens the display, sets the defaults, builds every window and dialog,
// realises the control panel and fills the widgets from Current_State.
// The toolkit removes the options it knows from argc and argv. 0 when
// built; else the exit status: without a display it prints "%s: can't open
// display, exiting...\n" and gives -1, having built nothing; an option
// neither the toolkit nor the program knows, or a bad setting, gives 2;
// outside control that cannot be started gives 1 (both reported).
int build_interface(int& argc, char** argv);
