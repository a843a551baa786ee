// The States window: one slider per automaton state in use, on the
// logarithmic frequency scale, and the dialog that spreads them
// geometrically.
#include <Xm/Scale.h>
#include <Xm/ToggleB.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/externs.h"
#include "engine/numeric.h"
#include "engine/limits.h"
#include "engine/mapping/parameter_change.h"
#include "engine/report.h"
#include "files/scan.h"
#include "ui/Xfreq.h"
#include "ui/Xctrl.h"
#include "ui/error_dialog.h"
#include "ui/messages.h"
#include "ui/placement.h"
#include "ui/undo.h"
#include "ui/slider_window.h"
#include "ui/tuning_controls.h"
#include "ui/widgets.h"
#include "engine/mapping/scales.h"

Widget states;
Widget state_form, state_holder;
slider_row state_sliders;
Widget frequency_lock, frequency_disp, reset_frequencys, quit_frequencys;
Widget auto_set_freq_shell, auto_set_freq_form, freq_auto_start, freq_auto_mul;

namespace {

constexpr int today_visible = 40;  // sliders the row shows without scrolling
constexpr int row_width = 723;     // as wide as the row of 40 sliders once was
constexpr int reset_position = 50;
// A slider step of 1/100 position is a factor of e^0.00096, 1.7 cents: the
// arrow keys tune by ear, a typed frequency exactly.
constexpr int steps_per_position = 100;
// A click in the trough: 0.60 positions, a semitone within 0.3 cents.
constexpr int steps_per_semitone = 60;

int slider_number(XtPointer client_data) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(client_data));
}

// The states in use; a count beyond the table is never indexed.
int states_in_use() { return std::clamp(Current_State.Ns, 0, max_states); }

double frequency_at(double position) { return position_hertz(position); }

std::string format_frequency(double position) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", frequency_at(position));
  return text;
}

// The field's frequency, and beside it the note it is (tuning_controls.h).
std::string format_frequency_and_note(double position) {
  show_note_of(frequency_at(position));
  return format_frequency(position);
}

slider_window window;
slider_readout readout{Current_State.states.data(), &frequency_disp, format_frequency_and_note,
                       steps_per_position, steps_per_semitone};

std::string typable_frequencies() {
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), "Frequency (Hz): from %.3f to %.2f",
                frequency_at(state_limits.lowest), frequency_at(state_limits.highest));
  return text.data();
}

std::string frequency_text(double position) { return format_frequency(position) + " Hz"; }

// With Lock set, a move stops where the first state meets the top or
// bottom; said when the state moved fell short of `wanted`.
void say_if_lock_stopped(int num, double wanted) {
  const double reached = Current_State.states[static_cast<std::size_t>(num)];
  if (Freq_Lock == 0 || std::abs(reached - wanted) < 1e-3) return;
  report_lock_stop(state_form, "state " + std::to_string(num), frequency_text(wanted),
                   frequency_text(reached));
}

// Return in the frequency field: the state whose frequency it shows takes
// the typed one, exactly (and, locked, every state by the same ratio).
void cb_type_frequency(Widget w, XtPointer, XtPointer) {
  const int num = readout.shown_entry;
  double hertz = 0.0;
  if (num < 0) {
    show_errors_beside(state_form);
    report_bad_number("Frequency (Hz): click a state's slider first, then type");
    show_text(w, "");
    return;
  }
  if (!read_real_number(field_text(w), hertz) || !(hertz >= frequency_at(state_limits.lowest) &&
                                                   hertz <= frequency_at(state_limits.highest))) {
    show_errors_beside(state_form);
    report_bad_number(typable_frequencies());
    show_entry(window, num);
    return;
  }
  {
    const undoable_change change("State " + std::to_string(num));
    change_parameter({parameter::state_frequency, num, hertz});
  }
  set_all_frequencies();
  show_entry(window, num);
  say_if_lock_stopped(num, hertz_position(hertz));
}

}  // namespace

void create_states(Widget parent) {
  const slider_window_names names{
      "states",         "States",         "state_form",     "state_row",
      "state_holder",   "s",              "widget51",       "widget57",
      "Frequency (Hz)", "State",          "frequency_disp", "frequency_lock",
      "widget56",       "quit_frequencys", "reset_frequencys"};
  window = build_slider_window(parent, names, state_sliders, cb_set_frequency, readout,
                               today_visible, row_width);
  states = window.shell;
  state_form = window.form;
  state_holder = window.holder;
  frequency_disp = window.display;
  frequency_lock = window.lock;
  quit_frequencys = window.quit;
  reset_frequencys = window.reset;

  XtAddCallback(frequency_lock, XmNvalueChangedCallback, cb_freq_lock, nullptr);
  XtAddCallback(reset_frequencys, XmNactivateCallback, cb_reset_frequency, nullptr);
  XtAddCallback(quit_frequencys, XmNactivateCallback, cb_quit_states, nullptr);
  XtAddCallback(window.auto_set, XmNactivateCallback, cb_auto_set_freq, nullptr);
  XtAddCallback(frequency_disp, XmNactivateCallback, cb_type_frequency, nullptr);
  on_window_close(states, cb_quit_states);
  build_scale_parts(window.side_form, frequency_disp, frequency_lock, reset_frequencys);
}

void create_auto_set_freq_shell(Widget parent) {
  const auto_set_names names{"auto_set_freq_shell", "Auto-set Freqlitude",
                             "auto_set_freq_form",  "freq_auto_start",
                             "Multiple",            "freq_auto_mul"};
  const auto_set_dialog dialog = build_auto_set_dialog(parent, names);
  auto_set_freq_shell = dialog.shell;
  auto_set_freq_form = dialog.form;
  freq_auto_start = dialog.start;
  freq_auto_mul = dialog.second;
  XtAddCallback(dialog.ok, XmNactivateCallback, cb_auto_set_freq_ok, nullptr);
  XtAddCallback(dialog.cancel, XmNactivateCallback, cb_auto_set_freq_cancel, nullptr);
  on_window_close(auto_set_freq_shell, cb_auto_set_freq_cancel);
}

void set_all_frequencies() {
  show_sliders(window, states_in_use(), Current_State.states);
}

void modify_freq(int num, double position) {
  if (num < 0 || num >= states_in_use()) return;
  Current_State.states[static_cast<std::size_t>(num)] =
      static_cast<float>(std::clamp(position, state_limits.lowest, state_limits.highest));
  show_entry(window, num);
}

void cb_pop_states(Widget, XtPointer, XtPointer) { open_beside(state_form, Ctrl_pannel); }

void cb_set_frequency(Widget, XtPointer client_data, XtPointer call_data) {
  const int num = slider_number(client_data);
  const int value = static_cast<XmScaleCallbackStruct*>(call_data)->value;
  // A press that left the slider where it was changes nothing, not even
  // the fractions of a typed frequency.
  if (value == shown_value(window, Current_State.states[num])) return;
  {
    const undoable_change change("State " + std::to_string(num));
    change_parameter({parameter::state_position, num, position_of(window, value)});
  }
  set_all_frequencies();  // locked, all moved; a move cut short snaps back
  show_entry(window, num);
  say_if_lock_stopped(num, position_of(window, value));
}

void cb_freq_lock(Widget, XtPointer, XtPointer call_data) {
  Freq_Lock = static_cast<XmToggleButtonCallbackStruct*>(call_data)->set ? 1 : 0;
}

void cb_reset_frequency(Widget, XtPointer, XtPointer) {
  const undoable_change change("Reset");
  for (int i = 0; i < states_in_use(); ++i) modify_freq(i, reset_position);
  set_all_frequencies();
}

void cb_quit_states(Widget, XtPointer, XtPointer) {
  XtUnmanageChild(state_form);
  XtUnmanageChild(auto_set_freq_form);
}

void cb_auto_set_freq(Widget, XtPointer, XtPointer) {
  open_auto_set(auto_set_freq_form, states,
                "Start at: a state, 0 to " + std::to_string(states_in_use() - 1) +
                    "\nMultiple: 2 = octaves, 1.5 = fifths");
}

// "Start at" numbers the states as the sliders' labels do, from 0; state
// `start` keeps its frequency and every one after it is `multiple` times
// the one before, exactly.
void cb_auto_set_freq_ok(Widget, XtPointer, XtPointer) {
  int start = 0;
  double multiple = 0.0;
  const int last = states_in_use() - 1;
  if (!read_start_at(freq_auto_start, auto_set_freq_form, "a state's number", last, start))
    return;
  // A multiple of 0 or less has no logarithm; NaN fails the test as well.
  if (!read_real_number(field_text(freq_auto_mul), multiple) || !(multiple > 0.0)) {
    show_errors_beside(auto_set_freq_form);
    report_bad_number("Multiple: the ratio of each state's frequency to the one before, above 0 "
                      "(2 is an octave)");
    return;
  }
  const double base = Current_State.states[static_cast<std::size_t>(start)];
  const double step = std::log(multiple) / hertz_exponent_per_position;
  const auto wanted = [&](int i) { return base + step * (i - start); };
  {
    const undoable_change change("Auto-set");
    for (int i = start + 1; i <= last; ++i) modify_freq(i, wanted(i));
  }
  set_all_frequencies();
  XtUnmanageChild(auto_set_freq_form);
  const stopped_entries stopped = entries_past(start + 1, last, wanted, state_limits);
  if (stopped.first >= 0)
    report_auto_set_stop(states, "states", stopped.first, stopped.last,
                         frequency_text(stopped.at_top ? state_limits.highest : state_limits.lowest));
}

void cb_auto_set_freq_cancel(Widget, XtPointer, XtPointer) {
  XtUnmanageChild(auto_set_freq_form);
}
