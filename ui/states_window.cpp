// The States window: one slider per automaton state in use, on the
// logarithmic frequency scale, and the dialog that spreads them
// geometrically.
#include <Xm/Scale.h>
#include <Xm/ToggleB.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/externs.h"
#include "engine/numeric.h"
#include "engine/report.h"
#include "files/scan.h"
#include "ui/Xfreq.h"
#include "ui/slider_window.h"
#include "ui/widgets.h"

Widget states;
Widget state_form, state_holder;
slider_row state_sliders;
Widget frequency_lock, frequency_disp, reset_frequencys, quit_frequencys;
Widget auto_set_freq_shell, auto_set_freq_form, freq_auto_start, freq_auto_mul;

namespace {

constexpr int top_position = 100;
// Lock and Auto-set may push positions below 0; below this one the
// frequency (under 0.011 Hz) would no longer load back from a saved set.
constexpr int bottom_position = -47;
constexpr int today_visible = 40;  // sliders the row shows without scrolling
constexpr int row_width = 723;     // as wide as the row of 40 sliders once was
constexpr int reset_position = 50;
constexpr double hertz_per_position = 0.096;  // f = e^(0.096 p)
// Positions per natural-log unit of the auto-set multiple: 10.33 x 0.096 is
// close to 1, so each step multiplies the frequency by about the multiple.
constexpr double positions_per_log = 10.33;

int slider_number(XtPointer client_data) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(client_data));
}

// The states in use; a count beyond the table is never indexed.
int states_in_use() { return std::clamp(Current_State.Ns, 0, max_states); }

std::string format_frequency(double position) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", std::exp(position * hertz_per_position));
  return text;
}

slider_window window;
const slider_readout readout{Current_State.states.data(), &frequency_disp, format_frequency};

// "%d" and "%f" of the dialog's fields; false when either holds no usable
// number.
bool read_auto_set_fields(int& start, float& multiple) {
  const std::string start_text = field_text(freq_auto_start);
  const std::string multiple_text = field_text(freq_auto_mul);
  const char* start_cursor = start_text.c_str();
  const char* multiple_cursor = multiple_text.c_str();
  return read_whole_number(start_cursor, start) &&
         scan_float(multiple_cursor, multiple) == scan_result::ok;
}

}  // namespace

void create_states(Widget parent) {
  const slider_window_names names{
      "states",         "States",         "state_form",     "state_row",
      "state_holder",   "s",              "widget51",       "widget57",
      "Frequency (Hz)", "frequency_disp", "frequency_lock", "widget56",
      "quit_frequencys", "reset_frequencys"};
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
  on_window_close(states, cb_quit_states);
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

void modify_freq(int num, int val) {
  if (num < 0 || num >= states_in_use()) return;
  float& position = Current_State.states[static_cast<std::size_t>(num)];
  position = static_cast<float>(std::clamp(val, bottom_position, top_position));
  show_text(frequency_disp, format_frequency(position));
}

void cb_pop_states(Widget, XtPointer, XtPointer) { XtManageChild(state_form); }

void cb_set_frequency(Widget, XtPointer client_data, XtPointer call_data) {
  const int num = slider_number(client_data);
  const int value = static_cast<XmScaleCallbackStruct*>(call_data)->value;
  auto& positions = Current_State.states;
  // A press that left the slider where it was changes nothing, not even
  // the fractions the locked entries would otherwise lose.
  if (value == shown_value(positions[num])) return;
  if (Freq_Lock) {
    // Every state moves by the whole number of positions this slider moved.
    const int offset = trunc_to_int(static_cast<double>(positions[num]) - value);
    for (int i = 0; i < states_in_use(); ++i) {
      const double moved = static_cast<double>(positions[i]) - offset;
      modify_freq(i, moved < top_position ? trunc_to_int(moved) : top_position);
    }
    set_all_frequencies();
  }
  // The moved state ends exactly where its slider was put.
  modify_freq(num, value);
  show_position(window, num, positions[num]);
}

void cb_freq_lock(Widget, XtPointer, XtPointer call_data) {
  Freq_Lock = static_cast<XmToggleButtonCallbackStruct*>(call_data)->set ? 1 : 0;
}

void cb_reset_frequency(Widget, XtPointer, XtPointer) {
  for (int i = 0; i < states_in_use(); ++i) modify_freq(i, reset_position);
  set_all_frequencies();
}

void cb_quit_states(Widget, XtPointer, XtPointer) {
  XtUnmanageChild(state_form);
  XtUnmanageChild(auto_set_freq_form);
}

void cb_auto_set_freq(Widget, XtPointer, XtPointer) { XtManageChild(auto_set_freq_form); }

void cb_auto_set_freq_ok(Widget, XtPointer, XtPointer) {
  int start = 0;
  float multiple = 0.0f;
  // A multiple of 0 or less has no logarithm; NaN fails the test as well.
  if (!read_auto_set_fields(start, multiple) || start < 1 || start > states_in_use() ||
      !(multiple > 0.0f)) {
    report_error("Bad number\n");
    return;
  }
  const double base = Current_State.states[static_cast<std::size_t>(start - 1)];
  const double step = std::log(static_cast<double>(multiple)) * positions_per_log;
  for (int i = start; i < states_in_use(); ++i)
    modify_freq(i, trunc_to_int(base + step * (i - start + 1)));
  set_all_frequencies();
  XtUnmanageChild(auto_set_freq_form);
}

void cb_auto_set_freq_cancel(Widget, XtPointer, XtPointer) {
  XtUnmanageChild(auto_set_freq_form);
}
