// Failure messages in a dialog, so that a window user sees them as well as
// the terminal does.
#pragma once

#include <Xm/Xm.h>

#include <string>

// The message box; hidden until a failure is shown.
extern Widget error_dialog;

// Builds the dialog once, under `parent`, and makes it the place where
// report_error shows failures.
void create_error_dialog(Widget parent);

// Shows `message`; when the dialog is already up, the message is added
// below the ones it holds, so a failure and its cause read together.
void show_error_dialog(const std::string& message);

// The next failure is shown beside `window` (a dialog that refused its
// input, say) rather than beside the control panel.
void show_errors_beside(Widget window);
