// Small helpers the windows share: scales set from the program, numbers
// read from fields, the busy cursor, layout chores (text: xm_text.h).
#pragma once

#include <Xm/Xm.h>

#include <functional>
#include <string>

#include "ui/xm_text.h"

// Moves a scale to value without running its callbacks. A value outside the
// scale's range shows as the nearest end; a scale already there is left
// alone.
void show_scale(Widget scale, int value);

// Like show_scale, but the range grows to hold a value beyond [low, high]
// and returns to it once the value is back inside, so the scale always
// shows the true value and a click moves on from there.
void show_scale_stretched(Widget scale, int value, int low, int high);

// Dragging `scale` with Shift or Ctrl held moves it ten times more finely
// than a plain drag; its drag callbacks run as it moves and its
// value-changed callbacks when it is let go, as for a plain drag.
void take_fine_drag(Widget scale);

// The scroll bar inside a scale, which takes its pointer's presses.
Widget scroll_bar_of(Widget scale);

// A field's text as a whole number: optional blanks, digits with an
// optional sign, optional blanks, nothing else ("1.5" and "7x" are not).
bool read_whole_number(const std::string& text, int& value);

// A field's text as one finite real number, with nothing after it but blanks.
bool read_real_number(const std::string& text, double& value);

// While one lives, every realised window of the program shows the watch
// cursor. An offline render keeps the toolkit from its event loop: input
// made meanwhile was made blind, so it is dropped when the render ends
// rather than applied afterwards.
class busy_windows {
 public:
  explicit busy_windows(Widget top);
  ~busy_windows();
  busy_windows(const busy_windows&) = delete;
  busy_windows& operator=(const busy_windows&) = delete;

 private:
  Widget top_;
};

// The offset from their form's left edge at which a column can start `gap`
// pixels right of the widest of the labels, which sit at the form's margin.
// Pinning fields by offset rather than attaching them to their labels keeps
// a form's attachments free of cycles, which the form cannot lay out.
int column_right_of(std::initializer_list<Widget> labels, int gap);

// Manages each widget in turn.
void manage_all(std::initializer_list<Widget> widgets);

// Closing a shell through the window manager runs `callback` instead of
// destroying the shell: a hidden window can then be shown again.
void on_window_close(Widget shell, XtCallbackProc callback);

// Every widget under `w`, pop-up shells included, each before its children.
void for_each_widget(Widget w, const std::function<void(Widget)>& visit);

// A dialog shell titled `title` that grows with what it holds.
Widget make_dialog_shell(Widget parent, const char* name, const char* title);

// The form a dialog shell shows. Its buttons decide when it hides: a form
// in a dialog shell would otherwise hide itself at any button press.
Widget make_top_form(Widget shell, const char* name, int margin);

// A label across `form` under `above`, keeping the size `text` gives it (as
// many lines), whatever it shows later: a line of news that changes.
Widget make_line_under(Widget form, Widget above, const char* name, const char* text);
