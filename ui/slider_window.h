// The plan the States and Instruments windows share: a row of upright
// sliders, one per entry in use, scrolled sideways when they do not fit;
// beside it a caption, a field, "Lock", "Auto-set", "Quit" and "Reset";
// and a small two-field Auto-set dialog.
#pragma once

#include <Xm/Xm.h>

#include <array>
#include <span>
#include <string>

#include "engine/limits.h"
#include "engine/types.h"

// Every slider there can ever be, built once; only those in use are shown.
constexpr int slider_count = max_states;
static_assert(max_instruments == slider_count);
using slider_row = std::array<Widget, slider_count>;

struct slider_window_names {
  const char* shell;
  const char* title;
  const char* form;
  const char* scroller;
  const char* holder;
  const char* slider_prefix;  // slider i is named prefix + i: "s0", "i17"
  const char* side_form;
  const char* caption_label;
  const char* caption;
  const char* entry_word;  // "State": the field is labelled "State 2"
  const char* display;
  const char* lock;
  const char* auto_set;
  const char* quit;
  const char* reset;
};

// What the field shows for the slider last touched (pressed, dragged,
// given the keyboard focus or moved): the entries the sliders stand for and
// the text of one position. The pointer passing over a slider changes
// nothing, so a value typed goes to the slider the user chose.
struct slider_readout {
  const float* entries;
  const Widget* display;
  std::string (*format)(double position);
  // Slider steps per position: more than one gives a fine slider, whose
  // keyboard step is a fraction of a position.
  int steps_per_position = 1;
  // Steps a click in the trough moves, unless a resource file says
  // otherwise; 0 leaves the toolkit's tenth of the range.
  int steps_per_click = 0;
  // The entry the field shows, or -1: a refresh shows its value anew, so
  // the field never keeps a value a load or an event has replaced.
  int shown_entry = -1;
  const char* entry_word = "";   // "State"
  Widget entry_label = nullptr;  // "State 2" over the field
};

struct scale_range {
  int minimum, maximum;
  bool operator==(const scale_range&) const = default;
};

struct slider_window {
  Widget shell, form, scroller, holder, side_form, display, lock, auto_set, quit, reset;
  const slider_row* sliders;
  slider_row slots;  // what the row shows and hides: each slider with its number
  // The range each slider was given; only the program sets them, and
  // reading them back from the toolkit would cost more than the refresh.
  std::array<scale_range, slider_count> ranges;
  slider_readout* readout;
  int fine_drag_steps = 1;  // slider steps per pixel of a fine drag (Shift or Ctrl)
};

// Builds the window hidden: everything inside the form is managed, the
// form itself is not, and no slider is shown until show_sliders. Slider i
// gets client data i; its number is shown beneath it. The visible part of
// the row is as wide as `visible` sliders, or `width` pixels if that is more.
// The readout is kept by reference.
slider_window build_slider_window(Widget parent, const slider_window_names& names,
                                  slider_row& sliders, XtCallbackProc on_slider,
                                  slider_readout& readout, int visible, int width);

// The field shows entry i and follows it from now on; its label names it.
void show_entry(slider_window& window, int i);

// Shows the first `count` sliders and hides the rest; each shown slider
// holds its entry's step, and the field the value of the entry it shows.
// Sliders already showing the right thing are left alone, so a refresh at
// every iteration of a render costs little.
void show_sliders(slider_window& window, int count, std::span<const float> entries);

// The value a slider shows for an entry: the nearest slider step (for one
// step per position, trunc(position)), within bounds.
int shown_value(const slider_window& window, float position);

// The position a slider's value stands for.
double position_of(const slider_window& window, int value);

// Moves slider i to its entry's step without running its callbacks. A value
// beyond the usual 0 to 100 widens that slider's range to hold it; a value
// back inside gives it the usual range again.
void show_position(slider_window& window, int i, float position);

// The entries from `from` to `to` whose wanted position lies beyond
// `limits` (an Auto-set stores them at the end), -1 when none; at_top when
// the last of them passed the top.
struct stopped_entries {
  int first = -1, last = -1;
  bool at_top = false;
};
template <typename Wanted>
stopped_entries entries_past(int from, int to, Wanted wanted, position_limits limits) {
  stopped_entries stopped;
  for (int i = from; i <= to; ++i) {
    const double position = wanted(i);
    if (position >= limits.lowest && position <= limits.highest) continue;
    if (stopped.first < 0) stopped.first = i;
    stopped.last = i;
    stopped.at_top = position > limits.highest;
  }
  return stopped;
}

struct auto_set_names {
  const char* shell;
  const char* title;
  const char* form;
  const char* start;
  const char* second_label;
  const char* second;
};

struct auto_set_dialog {
  Widget shell, form, start, second, ok, cancel;
};

// Builds the dialog hidden: "Start at" and the second field, then "OK" and
// "Cancel".
auto_set_dialog build_auto_set_dialog(Widget parent, const auto_set_names& names);

// Shows an Auto-set dialog beside the window it belongs to, with a hint
// under its fields of what they take.
void open_auto_set(Widget dialog_form, Widget window_shell, const std::string& hint);
