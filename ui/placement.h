// Windows and dialogs open beside what they belong to, not over it, so the
// window a dialog serves stays in sight.
#pragma once

#include <Xm/Xm.h>

// Puts the shell of `dialog` (a shell or the widget it holds) to the right
// of `owner`'s window, top edges level; to its left when the screen ends
// first, and below it when neither side has room. Does nothing before
// both have windows.
void place_beside(Widget dialog, Widget owner);

// Shows a file selection box with its directory read afresh (files come
// and go while the program runs), placed beside `owner` when it first
// opens.
void open_file_dialog(Widget box, Widget owner);

// Shows a window (the form its dialog shell holds) beside `owner` the first
// time; afterwards it opens where the user left it.
void open_beside(Widget form, Widget owner);
