// The Instruments window: one amplitude slider per instrument in use, and
// the dialog that spreads them in an arithmetic progression.
#include <Xm/Scale.h>
#include <Xm/ToggleB.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "engine/externs.h"
#include "engine/numeric.h"
#include "engine/report.h"
#include "files/param_file.h"
#include "files/scan.h"
#include "ui/Xamp.h"
#include "ui/slider_window.h"
#include "ui/widgets.h"

Widget instruments;
Widget instrument_form, instrument_holder;
slider_row instrument_sliders;
Widget amplitude_lock, amplitude_disp, reset_amplitudes, quit_amplitudes;
Widget auto_set_amp_shell, auto_set_amp_form, amp_auto_start, amp_auto_inc;

namespace {

constexpr int top_position = 100;
// Lock and Auto-set may push positions below 0; below this one the
// amplitude would no longer load back from a saved set.
constexpr int bottom_position = static_cast<int>(min_amplitude / 10.0);
constexpr int reset_position = 50;
constexpr double amplitude_per_position = 10.0;
constexpr int today_visible = 25;  // sliders the row shows without scrolling
constexpr int row_width = 568;

int slider_number(XtPointer client_data) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(client_data));
}

// The instruments in use; a count beyond the table is never indexed.
int instruments_in_use() { return std::clamp(Current_State.noinstrm, 0, max_instruments); }

std::string format_amplitude(double position) {
  return std::to_string(trunc_to_int(position * amplitude_per_position));
}

slider_window window;
const slider_readout readout{Current_State.instrm.data(), &amplitude_disp, format_amplitude};

// "%d" of both fields; false when either holds no usable number.
bool read_auto_set_fields(int& start, int& increment) {
  const std::string start_text = field_text(amp_auto_start);
  const std::string increment_text = field_text(amp_auto_inc);
  const char* start_cursor = start_text.c_str();
  const char* increment_cursor = increment_text.c_str();
  return read_whole_number(start_cursor, start) && read_whole_number(increment_cursor, increment);
}

// base + steps x increment, in a width no int field can overflow, brought
// back to the int range (modify_amp caps it at 100 anyway).
int progression(int base, int steps, int increment) {
  const long long value = static_cast<long long>(steps) * increment + base;
  return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

}  // namespace

void create_instruments(Widget parent) {
  const slider_window_names names{
      "instruments",     "Instruments",      "instrument_form", "instrument_row",
      "instrument_holder", "i",              "widget36",        "widget42",
      "Amplitude",       "amplitude_disp",   "amplitude_lock",  "widget41",
      "quit_amplitudes", "reset_amplitudes"};
  window = build_slider_window(parent, names, instrument_sliders, cb_set_amplitude, readout,
                               today_visible, row_width);
  instruments = window.shell;
  instrument_form = window.form;
  instrument_holder = window.holder;
  amplitude_disp = window.display;
  amplitude_lock = window.lock;
  quit_amplitudes = window.quit;
  reset_amplitudes = window.reset;
  // Unlike the States window, the side panel runs the full height.
  XtVaSetValues(window.side_form, XmNtopAttachment, XmATTACH_FORM, nullptr);

  XtAddCallback(amplitude_lock, XmNvalueChangedCallback, cb_amp_lock, nullptr);
  XtAddCallback(reset_amplitudes, XmNactivateCallback, cb_reset_amplitude, nullptr);
  XtAddCallback(quit_amplitudes, XmNactivateCallback, cb_quit_instrm, nullptr);
  XtAddCallback(window.auto_set, XmNactivateCallback, cb_auto_set_amp, nullptr);
  on_window_close(instruments, cb_quit_instrm);
}

void create_auto_set_amp_shell(Widget parent) {
  const auto_set_names names{"auto_set_amp_shell", "Auto-set Amplitude",
                             "auto_set_amp_form",  "amp_auto_start",
                             "Increment",          "amp_auto_inc"};
  const auto_set_dialog dialog = build_auto_set_dialog(parent, names);
  auto_set_amp_shell = dialog.shell;
  auto_set_amp_form = dialog.form;
  amp_auto_start = dialog.start;
  amp_auto_inc = dialog.second;
  XtAddCallback(dialog.ok, XmNactivateCallback, cb_auto_set_amp_ok, nullptr);
  XtAddCallback(dialog.cancel, XmNactivateCallback, cb_auto_set_amp_cancel, nullptr);
  on_window_close(auto_set_amp_shell, cb_auto_set_amp_cancel);
}

void set_all_amplitudes() {
  show_sliders(window, instruments_in_use(), Current_State.instrm);
}

void modify_amp(int num, int val) {
  if (num < 0 || num >= instruments_in_use()) return;
  float& position = Current_State.instrm[static_cast<std::size_t>(num)];
  position = static_cast<float>(std::clamp(val, bottom_position, top_position));
  show_text(amplitude_disp, format_amplitude(position));
}

void cb_pop_instruments(Widget, XtPointer, XtPointer) { XtManageChild(instrument_form); }

void cb_set_amplitude(Widget, XtPointer client_data, XtPointer call_data) {
  const int num = slider_number(client_data);
  const int value = static_cast<XmScaleCallbackStruct*>(call_data)->value;
  auto& positions = Current_State.instrm;
  // A press that left the slider where it was changes nothing, not even
  // the fractions the locked entries would otherwise lose.
  if (value == shown_value(positions[num])) return;
  if (Amp_Lock) {
    // Every instrument moves by the whole number of positions this slider
    // moved; the field is left showing the last instrument.
    const int offset = trunc_to_int(static_cast<double>(positions[num]) - value);
    for (int i = 0; i < instruments_in_use(); ++i) {
      const double moved = static_cast<double>(positions[i]) - offset;
      modify_amp(i, moved < top_position ? trunc_to_int(moved) : top_position);
    }
    set_all_amplitudes();
  } else {
    modify_amp(num, value);
    show_position(window, num, positions[num]);
  }
}

void cb_amp_lock(Widget, XtPointer, XtPointer call_data) {
  Amp_Lock = static_cast<XmToggleButtonCallbackStruct*>(call_data)->set ? 1 : 0;
  std::fprintf(Echo_Stream, "lock=%d\n", Amp_Lock);
}

void cb_reset_amplitude(Widget, XtPointer, XtPointer) {
  for (int i = 0; i < instruments_in_use(); ++i) modify_amp(i, reset_position);
  set_all_amplitudes();
}

void cb_quit_instrm(Widget, XtPointer, XtPointer) {
  XtUnmanageChild(instrument_form);
  XtUnmanageChild(auto_set_amp_form);
}

void cb_auto_set_amp(Widget, XtPointer, XtPointer) { XtManageChild(auto_set_amp_form); }

void cb_auto_set_amp_ok(Widget, XtPointer, XtPointer) {
  int start = 0;
  int increment = 0;
  if (!read_auto_set_fields(start, increment) || start < 1 || start > instruments_in_use()) {
    report_error("Bad number\n");
    return;
  }
  const int base = trunc_to_int(Current_State.instrm[static_cast<std::size_t>(start - 1)]);
  for (int i = start; i < instruments_in_use(); ++i)
    modify_amp(i, progression(base, i - start + 1, increment));
  set_all_amplitudes();
  XtUnmanageChild(auto_set_amp_form);
}

void cb_auto_set_amp_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(auto_set_amp_form); }
