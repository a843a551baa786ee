// The Instruments window: one amplitude slider per instrument in use, and
// the dialog that spreads them in an arithmetic progression.
#include <Xm/Scale.h>
#include <Xm/ToggleB.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/externs.h"
#include "engine/limits.h"
#include "engine/mapping/parameter_change.h"
#include "engine/mapping/scales.h"
#include "engine/report.h"
#include "files/scan.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/error_dialog.h"
#include "ui/messages.h"
#include "ui/placement.h"
#include "ui/undo.h"
#include "ui/slider_window.h"
#include "ui/widgets.h"

Widget instruments;
Widget instrument_form, instrument_holder;
slider_row instrument_sliders;
Widget amplitude_lock, amplitude_disp, reset_amplitudes, quit_amplitudes;
Widget auto_set_amp_shell, auto_set_amp_form, amp_auto_start, amp_auto_inc;

namespace {

constexpr int reset_position = 50;
constexpr int today_visible = 25;  // sliders the row shows without scrolling
constexpr int row_width = 568;

int slider_number(XtPointer client_data) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(client_data));
}

// The instruments in use; a count beyond the table is never indexed.
int instruments_in_use() { return std::clamp(Current_State.noinstrm, 0, max_instruments); }

// The nearest whole amplitude: 29.999998 is shown as the 300 it was
// stored for.
std::string format_amplitude(double position) {
  return std::to_string(std::lround(position_amplitude(position)));
}

slider_window window;
slider_readout readout{Current_State.instrm.data(), &amplitude_disp, format_amplitude};

// With Lock set, a move stops where the first instrument meets the top or
// bottom; said when the instrument moved fell short of `wanted`.
void say_if_lock_stopped(int num, double wanted) {
  const double reached = Current_State.instrm[static_cast<std::size_t>(num)];
  if (Amp_Lock == 0 || std::abs(reached - wanted) < 1e-3) return;
  report_lock_stop(instrument_form, "instrument " + std::to_string(num), format_amplitude(wanted),
                   format_amplitude(reached));
}

std::string typable_amplitudes() {
  return "Amplitude: a score amplitude, " + format_amplitude(instrument_limits.lowest) + " to " +
         format_amplitude(instrument_limits.highest);
}

// Return in the amplitude field: the instrument it shows takes the typed
// amplitude (and, locked, every instrument by the same offset).
void cb_type_amplitude(Widget w, XtPointer, XtPointer) {
  const int num = readout.shown_entry;
  double amplitude = 0.0;
  show_errors_beside(instrument_form);
  if (num < 0) {
    report_bad_number("Amplitude: click an instrument's slider first, then type");
    show_text(w, "");
    return;
  }
  const bool read = read_real_number(field_text(w), amplitude);
  const double position = amplitude_position(amplitude);
  if (!read || !(position >= instrument_limits.lowest && position <= instrument_limits.highest)) {
    report_bad_number(typable_amplitudes());
    show_entry(window, num);
    return;
  }
  {
    const undoable_change change("Instrument " + std::to_string(num));
    change_parameter({parameter::instrument_position, num, position});
  }
  set_all_amplitudes();
  show_entry(window, num);
  say_if_lock_stopped(num, position);
}

}  // namespace

void create_instruments(Widget parent) {
  const slider_window_names names{
      "instruments",     "Instruments",      "instrument_form", "instrument_row",
      "instrument_holder", "i",              "widget36",        "widget42",
      "Amplitude",       "Instrument",       "amplitude_disp",  "amplitude_lock",
      "widget41",        "quit_amplitudes",  "reset_amplitudes"};
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
  XtAddCallback(amplitude_disp, XmNactivateCallback, cb_type_amplitude, nullptr);
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

void modify_amp(int num, double position) {
  if (num < 0 || num >= instruments_in_use()) return;
  Current_State.instrm[static_cast<std::size_t>(num)] = static_cast<float>(
      std::clamp(position, instrument_limits.lowest, instrument_limits.highest));
  show_entry(window, num);
}

void cb_pop_instruments(Widget, XtPointer, XtPointer) { open_beside(instrument_form, Ctrl_pannel); }

void cb_set_amplitude(Widget, XtPointer client_data, XtPointer call_data) {
  const int num = slider_number(client_data);
  const int value = static_cast<XmScaleCallbackStruct*>(call_data)->value;
  // A press that left the slider where it was changes nothing, not even
  // the fractions the locked entries would otherwise lose.
  if (value == shown_value(window, Current_State.instrm[num])) return;
  {
    const undoable_change change("Instrument " + std::to_string(num));
    change_parameter({parameter::instrument_position, num, position_of(window, value)});
  }
  set_all_amplitudes();  // locked, all moved; a move cut short snaps back
  show_entry(window, num);
  say_if_lock_stopped(num, position_of(window, value));
}

void cb_amp_lock(Widget, XtPointer, XtPointer call_data) {
  Amp_Lock = static_cast<XmToggleButtonCallbackStruct*>(call_data)->set ? 1 : 0;
  std::fprintf(Echo_Stream, "lock=%d\n", Amp_Lock);
}

void cb_reset_amplitude(Widget, XtPointer, XtPointer) {
  const undoable_change change("Reset");
  for (int i = 0; i < instruments_in_use(); ++i) modify_amp(i, reset_position);
  set_all_amplitudes();
}

void cb_quit_instrm(Widget, XtPointer, XtPointer) {
  XtUnmanageChild(instrument_form);
  XtUnmanageChild(auto_set_amp_form);
}

void cb_auto_set_amp(Widget, XtPointer, XtPointer) {
  open_auto_set(auto_set_amp_form, instruments,
                "Start at: an instrument, 0 to " + std::to_string(instruments_in_use() - 1) +
                    "\nIncrement: amplitude, e.g. 50 or -50");
}

// "Start at" numbers the instruments as the sliders' labels do, from 0;
// the increment is in the units the field shows (10 per slider position).
void cb_auto_set_amp_ok(Widget, XtPointer, XtPointer) {
  int start = 0;
  double increment = 0.0;
  const int last = instruments_in_use() - 1;
  if (!read_start_at(amp_auto_start, auto_set_amp_form, "an instrument's number", last, start))
    return;
  if (!read_real_number(field_text(amp_auto_inc), increment) ||
      std::abs(increment) > 2000.0) {
    show_errors_beside(auto_set_amp_form);
    report_bad_number("Increment: the amplitude added from one instrument to the next, "
                      "-2000 to 2000");
    return;
  }
  const double base = Current_State.instrm[static_cast<std::size_t>(start)];
  const double step = increment / amplitude_per_position;
  const auto wanted = [&](int i) { return base + step * (i - start); };
  {
    const undoable_change change("Auto-set");
    for (int i = start + 1; i <= last; ++i) modify_amp(i, wanted(i));
  }
  set_all_amplitudes();
  XtUnmanageChild(auto_set_amp_form);
  const stopped_entries stopped = entries_past(start + 1, last, wanted, instrument_limits);
  if (stopped.first >= 0)
    report_auto_set_stop(instruments, "instruments", stopped.first, stopped.last,
                         format_amplitude(stopped.at_top ? instrument_limits.highest
                                                         : instrument_limits.lowest));
}

void cb_auto_set_amp_cancel(Widget, XtPointer, XtPointer) { XtUnmanageChild(auto_set_amp_form); }
