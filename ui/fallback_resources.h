// The program's own look: fonts and colours that apply when no resource
// file for the class "XApplication" is installed.
#pragma once

#include <X11/Intrinsic.h>

// Must run before the display is opened: the toolkit reads them then.
void install_fallback_resources(XtAppContext context);

// A server without the Helvetica fonts (say, one started before the font
// packages were installed) gets the fixed font in their place, instead of a
// warning for each font the toolkit cannot load. Runs once the display is
// open, before any widget exists.
void use_fonts_the_server_has(Display* display);
