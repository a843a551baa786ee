// The program's own look: fonts and colours that apply when no resource
// file for the class "XApplication" is installed.
#pragma once

#include <X11/Intrinsic.h>

// Must run before the display is opened: the toolkit reads them then.
void install_fallback_resources(XtAppContext context);
