// Windows and dialogs open beside what they belong to, not over it, so the
// window a dialog serves stays in sight.
#pragma once

#include <Xm/Xm.h>

// Puts the shell of `dialog` (a shell or the widget it holds) to the right
// of `owner`'s window, top edges level, or to its left when the screen
// ends first. Does nothing before `owner` has a window.
void place_beside(Widget dialog, Widget owner);
