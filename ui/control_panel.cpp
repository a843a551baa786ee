// The control panel "Synth. Control": the menus, the automaton parameters,
// the grid size, the grain duration, the reduction and the counter.
#include <Xm/ArrowB.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/Scale.h>
#include <Xm/TextF.h>
#include <X11/Shell.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "engine/externs.h"
#include "engine/limits.h"
#include "engine/mapping/parameter_change.h"
#include "engine/report.h"
#include "ui/grain_window.h"
#include "ui/Xevent.h"
#include "ui/Xfiles.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/Xlive.h"
#include "ui/documents.h"
#include "ui/messages.h"
#include "ui/panel_menus.h"
#include "ui/render_job.h"
#include "ui/tuning_controls.h"
#include "ui/undo.h"
#include "ui/window_keys.h"
#include "ui/widgets.h"

Widget Ctrl_pannel;
Widget r1, r2, k, x, y;
Widget duration, dur_down, dur_up, counter, halt_at;
Widget save_parameters, save_event_list, Load_events, csound_button;
Widget Mapping, state_button, instrument_button, event_button;
Widget parameter_group, grid_group, play_button;

namespace {

Widget reduction_menu, mean_entry, mode_entry;
// Set when the user edits the field, cleared whenever it shows the value
// in force again: only text the user typed is taken without Return.
bool halt_typed = false;
bool duration_typed = false;

void cb_note_typing(Widget, XtPointer client_data, XtPointer) {
  *static_cast<bool*>(client_data) = true;
}

constexpr double dur_step = 0.001;       // one press of a duration arrow
constexpr int grid_scale_min = 0;
// Wide enough for every digit of any iteration count.
constexpr int count_columns = 10;
constexpr int group_gap = 6;  // pixels around the three framed groups
// The counter is redrawn at most this often while a render runs.
constexpr std::chrono::milliseconds counter_redraw_interval{50};

int scale_value(XtPointer call_data) {
  return static_cast<XmScaleCallbackStruct*>(call_data)->value;
}

double from_scale_units(int value) { return value * rule_scale_unit; }

// A scale or menu entry moved: one undoable change, named as its control.
void change_from_window(const char* name, parameter what, double value) {
  const undoable_change change(name);
  change_parameter({what, 0, value});
}

// The nearest hundredth: 0.29 is stored as 0.28999999, which truncated
// would show as 0.28.
int to_scale_units(float field) {
  return static_cast<int>(std::lround(std::clamp(static_cast<double>(field) * 100.0, -1e9, 1e9)));
}

std::string format_int(int value) { return std::to_string(value); }

std::string format_duration(float dur) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", static_cast<double>(dur));
  return text;
}

// The grain durations a user may type: a positive length a note can have.
bool typable_duration(double seconds) {
  return seconds >= windows_duration_lowest && seconds <= windows_duration_highest;
}

// Return in the duration field: a number in range becomes `dur`; anything
// else is refused and the field shows `dur` again.
void cb_set_duration(Widget w, XtPointer, XtPointer) {
  const undoable_change change("Duration");
  double seconds = 0.0;
  if (read_real_number(field_text(w), seconds) && typable_duration(seconds))
    change_parameter({parameter::dur, 0, seconds});
  else
    report_bad_number("Duration: seconds, 0.001 to 9.99");
  show_text(w, format_duration(Current_State.dur));
  duration_typed = false;
}

// A label; the caller attaches it in its form.
Widget make_label_widget(Widget parent, const char* name, const char* text) {
  return make_labelled(xmLabelWidgetClass, parent, name, text);
}

// A frame below the menu bar, to the right of `left_of` (or at the form's
// left edge), reaching down to the form's bottom, with a form inside.
struct group {
  Widget frame;
  Widget form;
};

group build_group(Widget form, Widget menu_bar, Widget left_of, const char* frame_name,
                  const char* form_name) {
  Widget frame = XtVaCreateWidget(
      frame_name, xmFrameWidgetClass, form, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget,
      menu_bar, XmNbottomAttachment, XmATTACH_FORM, XmNleftAttachment,
      left_of ? XmATTACH_WIDGET : XmATTACH_FORM, XmNleftWidget, left_of, XmNtopOffset,
      group_gap, XmNleftOffset, group_gap, XmNbottomOffset, group_gap, nullptr);
  Widget inner = XtVaCreateWidget(form_name, xmFormWidgetClass, frame, XmNmarginWidth, 8,
                                  XmNmarginHeight, 6, nullptr);
  XtManageChild(inner);
  XtManageChild(frame);
  return {frame, inner};
}

// One upright parameter scale with its name beneath it.
Widget build_parameter_scale(Widget form, Widget title, Widget left_of, const char* label_name,
                             const char* label_text, XtCallbackProc callback) {
  Widget scale = XtVaCreateWidget(
      "ca_slider", xmScaleWidgetClass, form, XmNminimum, rule_scale_lowest, XmNmaximum,
      rule_scale_highest, XmNdecimalPoints, 2, XmNshowValue, True, XmNscaleMultiple, 1,
      XmNscaleHeight, 170,
      XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, title, XmNtopOffset, 4,
      XmNleftAttachment, left_of ? XmATTACH_WIDGET : XmATTACH_FORM, XmNleftWidget, left_of,
      XmNleftOffset, left_of ? 22 : 4, nullptr);
  XtAddCallback(scale, XmNvalueChangedCallback, callback, nullptr);
  take_fine_drag(scale);
  Widget label = make_label_widget(form, label_name, label_text);
  XtVaSetValues(label, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, scale,
                XmNleftAttachment, XmATTACH_OPPOSITE_WIDGET, XmNleftWidget, scale,
                XmNrightAttachment, XmATTACH_OPPOSITE_WIDGET, XmNrightWidget, scale,
                XmNbottomAttachment, XmATTACH_FORM, nullptr);
  manage_all({scale, label});
  return scale;
}

// "Parameters ": r1, r2 and k side by side.
void build_parameters_group(Widget form) {
  Widget title = make_label_widget(form, "widget27", "Parameters ");
  XtVaSetValues(title, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM,
                XmNrightAttachment, XmATTACH_FORM, XmNalignment, XmALIGNMENT_BEGINNING,
                nullptr);
  XtManageChild(title);
  r1 = build_parameter_scale(form, title, nullptr, "widget22", "r1", cb_set_r1);
  r2 = build_parameter_scale(form, title, r1, "widget24", "r2", cb_set_r2);
  k = build_parameter_scale(form, title, r2, "widget26", "k", cb_set_k);
}

// One horizontal grid scale starting `left` pixels in, with its letter
// level with it at the form's left edge.
Widget build_grid_scale(Widget form, Widget above, int left, Widget label, const char* name,
                        XtCallbackProc callback) {
  Widget scale = XtVaCreateWidget(
      name, xmScaleWidgetClass, form, XmNorientation, XmHORIZONTAL, XmNprocessingDirection,
      XmMAX_ON_RIGHT, XmNminimum, grid_scale_min, XmNmaximum, max_grid, XmNshowValue,
      True, XmNscaleWidth, 200, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, above,
      XmNtopOffset, 2, XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, left,
      XmNrightAttachment, XmATTACH_FORM, nullptr);
  XtVaSetValues(label, XmNleftAttachment, XmATTACH_FORM, XmNtopAttachment,
                XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, scale, XmNbottomAttachment,
                XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget, scale, nullptr);
  XtAddCallback(scale, XmNvalueChangedCallback, callback, nullptr);
  take_fine_drag(scale);
  manage_all({label, scale});
  return scale;
}

// The "Mean" / "Mode" option menu, without a label of its own.
Widget build_reduction_menu(Widget form, Widget left_of, Widget align_top) {
  Widget pulldown = XmCreatePulldownMenu(form, const_cast<char*>("widget16"), nullptr, 0);
  mean_entry = make_menu_entry(pulldown, "widget17", "Mean", cb_mean_button);
  mode_entry = make_menu_entry(pulldown, "widget18", "Mode", cb_mode_button);

  Arg args[6];
  Cardinal n = 0;
  XtSetArg(args[n], XmNsubMenuId, pulldown), ++n;
  XtSetArg(args[n], XmNleftAttachment, XmATTACH_WIDGET), ++n;
  XtSetArg(args[n], XmNleftWidget, left_of), ++n;
  XtSetArg(args[n], XmNleftOffset, 12), ++n;
  XtSetArg(args[n], XmNtopAttachment, XmATTACH_OPPOSITE_WIDGET), ++n;
  XtSetArg(args[n], XmNtopWidget, align_top), ++n;
  Widget option = XmCreateOptionMenu(form, const_cast<char*>("widget13"), args, n);
  XtUnmanageChild(XmOptionLabelGadget(option));
  XtManageChild(option);
  reduction_menu = option;
  return option;
}

// "Grid size" with X and Y, then "Duration" with its field, its arrows and
// the reduction menu.
void build_grid_group(Widget form) {
  Widget title = make_label_widget(form, "widget6", "Grid size");
  XtVaSetValues(title, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM,
                nullptr);
  XtManageChild(title);
  Widget x_label = make_label_widget(form, "widget4", "X");
  Widget y_label = make_label_widget(form, "widget5", "Y");
  const int scale_left = column_right_of({x_label, y_label}, 6);
  x = build_grid_scale(form, title, scale_left, x_label, "gird_slider", cb_set_grid_x);
  y = build_grid_scale(form, x, scale_left, y_label, "grid_slider", cb_set_grid_y);

  Widget dur_title = make_label_widget(form, "widget12", "Duration");
  XtVaSetValues(dur_title, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, y, XmNtopOffset,
                14, XmNleftAttachment, XmATTACH_FORM, nullptr);
  duration = XtVaCreateWidget("duration", xmTextFieldWidgetClass, form, XmNcolumns, 6,
                              XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, dur_title,
                              XmNtopOffset, 2, XmNleftAttachment, XmATTACH_FORM, nullptr);
  dur_up = XtVaCreateWidget("dur_up", xmArrowButtonWidgetClass, form, XmNarrowDirection,
                            XmARROW_UP, XmNwidth, 26, XmNtopAttachment,
                            XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, duration,
                            XmNbottomAttachment, XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget,
                            duration, XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget,
                            duration, XmNleftOffset, 4, nullptr);
  dur_down = XtVaCreateWidget("dur_down", xmArrowButtonWidgetClass, form, XmNarrowDirection,
                              XmARROW_DOWN, XmNwidth, 26, XmNtopAttachment,
                              XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, duration,
                              XmNbottomAttachment, XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget,
                              duration, XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget,
                              dur_up, nullptr);
  XtAddCallback(dur_down, XmNarmCallback, cb_dec_dur, nullptr);
  XtAddCallback(dur_up, XmNarmCallback, cb_inc_dur, nullptr);
  XtAddCallback(duration, XmNactivateCallback, cb_set_duration, nullptr);
  XtAddCallback(duration, XmNlosingFocusCallback, cb_take_typed_values, nullptr);
  XtAddCallback(duration, XmNvalueChangedCallback, cb_note_typing, &duration_typed);
  manage_all({dur_title, duration, dur_up, dur_down});
  build_quantize_toggle(form, build_reduction_menu(form, dur_down, duration));
}

// A text field starting `left` pixels in, with its label level with it at
// the form's left edge.
Widget build_labelled_field(Widget form, Widget above, int left, Widget label,
                            const char* field_name, bool editable) {
  Widget field = XtVaCreateWidget(
      field_name, xmTextFieldWidgetClass, form, XmNcolumns, count_columns, XmNeditable, editable,
      XmNcursorPositionVisible, editable, XmNtopAttachment,
      above ? XmATTACH_WIDGET : XmATTACH_FORM, XmNtopWidget, above, XmNtopOffset, above ? 6 : 0,
      XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, left, XmNrightAttachment, XmATTACH_FORM,
      nullptr);
  XtVaSetValues(label, XmNleftAttachment, XmATTACH_FORM, XmNtopAttachment,
                XmATTACH_OPPOSITE_WIDGET, XmNtopWidget, field, XmNbottomAttachment,
                XmATTACH_OPPOSITE_WIDGET, XmNbottomWidget, field, XmNalignment,
                XmALIGNMENT_BEGINNING, nullptr);
  manage_all({label, field});
  return field;
}

// "Counter", "Stop at" and the turbo button.
void build_counter_group(Widget form) {
  Widget counter_label = make_label_widget(form, "widget50", "Counter");
  Widget halt_label = make_label_widget(form, "widget54", "Stop at");
  const int field_left = column_right_of({counter_label, halt_label}, 8);
  counter = build_labelled_field(form, nullptr, field_left, counter_label, "counter", false);
  halt_at = build_labelled_field(form, counter, field_left, halt_label, "halt_at", true);
  XtAddCallback(halt_at, XmNactivateCallback, cb_set_halt_time, nullptr);
  XtAddCallback(halt_at, XmNlosingFocusCallback, cb_take_typed_values, nullptr);
  XtAddCallback(halt_at, XmNvalueChangedCallback, cb_note_typing, &halt_typed);

  const compound_string label = make_label("ZUX\nTurbo");
  Widget turbo = XtVaCreateWidget("widget53", xmPushButtonWidgetClass, form, XmNlabelString,
                                  label.get(), XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget,
                                  halt_at, XmNtopOffset, 12, XmNleftAttachment, XmATTACH_FORM,
                                  XmNrightAttachment, XmATTACH_FORM, nullptr);
  XtAddCallback(turbo, XmNactivateCallback, cb_ZUX_turbo, nullptr);
  XtManageChild(turbo);
  play_button = make_labelled(xmPushButtonWidgetClass, form, "play_button", "Play");
  XtVaSetValues(play_button, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, turbo,
                XmNtopOffset, 6, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment,
                XmATTACH_FORM, nullptr);
  XtAddCallback(play_button, XmNactivateCallback, cb_play_or_stop, nullptr);
  XtManageChild(play_button);
  Widget list_line = build_event_list_line(form, play_button);
  build_render_progress(form, build_notice_line(form, list_line));
}

}  // namespace

void create_Ctrl_pannel(Display* display, const char* app_name, int argc, char** argv) {
  Ctrl_pannel = XtVaAppCreateShell(app_name, "XApplication", applicationShellWidgetClass,
                                   display, XmNtitle, "Synth. Control", XmNargc, argc,
                                   XmNargv, argv, nullptr);
  // Closing the window through the window manager quits, as "QUIT" does.
  on_window_close(Ctrl_pannel, cb_quit_zelmora);

  Widget form = XtVaCreateWidget("widget1", xmFormWidgetClass, Ctrl_pannel, nullptr);
  Widget menu_bar = build_menu_bar(form);

  const group parameters = build_group(form, menu_bar, nullptr, "widget19", "widget20");
  build_parameters_group(parameters.form);
  const group grid = build_group(form, menu_bar, parameters.frame, "widget2", "widget3");
  build_grid_group(grid.form);
  parameter_group = parameters.frame;
  grid_group = grid.frame;
  const group counters = build_group(form, menu_bar, grid.frame, "widget48", "widget49");
  build_counter_group(counters.form);
  // The menu bar ends where the counter group does, both held at the same
  // distance from the form's right edge rather than attached to each other,
  // which would tie them in a circle.
  XtVaSetValues(counters.frame, XmNrightAttachment, XmATTACH_FORM, XmNrightOffset, group_gap,
                nullptr);
  XtVaSetValues(menu_bar, XmNrightAttachment, XmATTACH_FORM, XmNrightOffset, group_gap,
                nullptr);
  XtManageChild(form);
  take_window_keys(form);
}

void set_control() {
  for (const auto& [scale, field] :
       {std::pair(r1, Current_State.r1), {r2, Current_State.r2}, {k, Current_State.k}})
    show_scale_stretched(scale, to_scale_units(field), rule_scale_lowest, rule_scale_highest);
  show_scale_stretched(x, Current_State.x, grid_scale_min, max_grid);
  show_scale_stretched(y, Current_State.y, grid_scale_min, max_grid);
  show_text(halt_at, format_int(Current_State.iter));
  show_text(counter, format_int(Current_Iteration));
  show_text(duration, format_duration(Current_State.dur));
  halt_typed = duration_typed = false;
  show_quantize();
}

void show_counter(int iteration) {
  show_text(counter, format_int(iteration));
  // The render keeps the toolkit away from its event loop; redraw now and
  // then so the count is seen to advance, without slowing the render down.
  using clock = std::chrono::steady_clock;
  static clock::time_point last_redraw;
  const clock::time_point now = clock::now();
  if (now - last_redraw >= counter_redraw_interval) {
    last_redraw = now;
    XmUpdateDisplay(counter);
  }
}

void cb_set_r1(Widget, XtPointer, XtPointer call_data) {
  change_from_window("r1", parameter::r1, from_scale_units(scale_value(call_data)));
}

void cb_set_r2(Widget, XtPointer, XtPointer call_data) {
  change_from_window("r2", parameter::r2, from_scale_units(scale_value(call_data)));
}

void cb_set_k(Widget, XtPointer, XtPointer call_data) {
  change_from_window("k", parameter::k, from_scale_units(scale_value(call_data)));
}

void cb_set_grid_x(Widget, XtPointer, XtPointer call_data) {
  change_from_window("X", parameter::grid_x, scale_value(call_data));
}

void cb_set_grid_y(Widget, XtPointer, XtPointer call_data) {
  change_from_window("Y", parameter::grid_y, scale_value(call_data));
}

void cb_dec_dur(Widget, XtPointer, XtPointer) {
  const undoable_change change("Duration");
  const double lower = static_cast<double>(Current_State.dur) - dur_step;
  if (static_cast<double>(Current_State.dur) > windows_duration_lowest)
    change_parameter({parameter::dur, 0, std::max(lower, windows_duration_lowest)});
  set_control();
}

void cb_inc_dur(Widget, XtPointer, XtPointer) {
  const undoable_change change("Duration");
  if (static_cast<double>(Current_State.dur) < windows_duration_highest)
    change_parameter({parameter::dur, 0, static_cast<double>(Current_State.dur) + dur_step});
  set_control();
}

void cb_mean_button(Widget, XtPointer, XtPointer) {
  change_from_window("Mean/Mode", parameter::reduction, 0);
}

void cb_mode_button(Widget, XtPointer, XtPointer) {
  change_from_window("Mean/Mode", parameter::reduction, 1);
}

void show_reduction() {
  XtVaSetValues(reduction_menu, XmNmenuHistory, Mean_Mode != 0 ? mode_entry : mean_entry,
                nullptr);
}

void cb_set_halt_time(Widget w, XtPointer, XtPointer) {
  const undoable_change change("Stop at");
  int iterations = 0;
  if (read_whole_number(field_text(w), iterations) && iterations >= 0 &&
      iterations <= max_iterations)
    change_parameter({parameter::iterations, 0, static_cast<double>(iterations)});
  else
    report_bad_number("Stop at: a whole number of iterations, 0 to 10000000");
  show_text(w, format_int(Current_State.iter));
  halt_typed = false;
}

void take_typed_values() {
  if (halt_typed) cb_set_halt_time(halt_at, nullptr, nullptr);
  if (duration_typed) cb_set_duration(duration, nullptr, nullptr);
}

void cb_take_typed_values(Widget, XtPointer, XtPointer) { take_typed_values(); }

void cb_ZUX_turbo(Widget, XtPointer, XtPointer) {}

// Unsaved work is asked about first; then live play fades out, csound is
// stopped and its temporaries go.
void cb_quit_zelmora(Widget, XtPointer, XtPointer) {
  confirm_unsaved_work([] {
    cb_stop_live(nullptr, nullptr, nullptr);
    cb_cancel_render(nullptr, nullptr, nullptr);
    std::exit(0);
  });
}
