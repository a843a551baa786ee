// The "Grain" window: a row per key of the grain design, a menu for a
// choice (wave, window, limiter), a scale for a number (overlap 1 ... 8;
// jitter, width and space in hundredths). Each change goes straight into
// Grain_Design: the next render, and live play from its next iteration,
// sound with it.
#include "ui/grain_window.h"

#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/Scale.h>

#include <array>
#include <cmath>
#include <string>

#include "dsp/grain_design.h"
#include "engine/externs.h"
#include "ui/Xctrl.h"
#include "ui/midi_learn.h"
#include "ui/placement.h"
#include "ui/undo.h"
#include "ui/widgets.h"

namespace {

Widget grain_shell = nullptr;
std::array<Widget, grain_key_count> controls{};           // a menu or a scale per key
std::array<std::array<Widget, 5>, grain_key_count> entries{};  // a menu's choices

constexpr int hundredths = 100;

bool is_overlap(int key) { return std::string(grain_keys[key]) == "overlap"; }

void cb_choice(Widget w, XtPointer key, XtPointer) {
  const auto k = reinterpret_cast<std::intptr_t>(key);
  const undoable_change change(grain_keys[k]);
  for (int i = 0; i < 5; ++i)
    if (entries[k][i] == w) set_grain_number(Grain_Design, grain_keys[k], i);
}

void cb_scale(Widget w, XtPointer key, XtPointer) {
  const auto k = reinterpret_cast<std::intptr_t>(key);
  const undoable_change change(grain_keys[k]);
  int value = 0;
  XmScaleGetValue(w, &value);
  set_grain_number(Grain_Design, grain_keys[k], is_overlap(k) ? value : double(value) / hundredths);
}

Widget build_menu(Widget parent, int key) {
  int count = 0;
  const char* const* names = grain_choices(grain_keys[key], count);
  Widget pulldown = XmCreatePulldownMenu(parent, const_cast<char*>("grain_menu"), nullptr, 0);
  for (int i = 0; i < count; ++i) {
    const compound_string label = make_label(names[i]);
    entries[key][i] = XtVaCreateManagedWidget("grain_choice", xmPushButtonWidgetClass, pulldown,
                                              XmNlabelString, label.get(), nullptr);
    XtAddCallback(entries[key][i], XmNactivateCallback, cb_choice,
                  reinterpret_cast<XtPointer>(static_cast<std::intptr_t>(key)));
  }
  const compound_string title = make_label(grain_keys[key]);
  Arg args[2];
  XtSetArg(args[0], XmNsubMenuId, pulldown);
  XtSetArg(args[1], XmNlabelString, title.get());
  Widget option = XmCreateOptionMenu(parent, const_cast<char*>(grain_keys[key]), args, 2);
  XtManageChild(option);
  return option;
}

Widget build_scale(Widget parent, int key) {
  const compound_string title = make_label(grain_keys[key]);
  const bool overlap = is_overlap(key);
  Widget scale = XtVaCreateManagedWidget(
      grain_keys[key], xmScaleWidgetClass, parent, XmNorientation, XmHORIZONTAL, XmNtitleString,
      title.get(), XmNshowValue, True, XmNminimum, overlap ? 1 : 0, XmNmaximum,
      overlap ? grain_design::max_overlap : hundredths, XmNdecimalPoints, overlap ? 0 : 2,
      XmNscaleWidth, 240, nullptr);
  const auto data = reinterpret_cast<XtPointer>(static_cast<std::intptr_t>(key));
  XtAddCallback(scale, XmNvalueChangedCallback, cb_scale, data);
  XtAddCallback(scale, XmNdragCallback, cb_scale, data);
  learn_from(scale, grain_keys[key]);
  take_fine_drag(scale);
  return scale;
}

void cb_close(Widget, XtPointer, XtPointer) { XtPopdown(grain_shell); }

}  // namespace

void create_grain(Widget parent) {
  grain_shell = XtVaCreatePopupShell("grain", topLevelShellWidgetClass, parent, XmNtitle, "Grain",
                                     nullptr);
  on_window_close(grain_shell, cb_close);
  Widget column = XtVaCreateWidget("grain_column", xmRowColumnWidgetClass, grain_shell,
                                   XmNorientation, XmVERTICAL, nullptr);
  for (int key = 0; key < grain_key_count; ++key) {
    int choices = 0;
    grain_choices(grain_keys[key], choices);
    controls[key] = choices > 0 ? build_menu(column, key) : build_scale(column, key);
  }
  XtManageChild(column);
  set_grain_window();
}

void set_grain_window() {
  if (!grain_shell) return;
  for (int key = 0; key < grain_key_count; ++key) {
    const double value = grain_number(Grain_Design, grain_keys[key]);
    if (entries[key][0])
      XtVaSetValues(controls[key], XmNmenuHistory, entries[key][static_cast<int>(value)], nullptr);
    else
      show_scale(controls[key], static_cast<int>(std::lround(is_overlap(key) ? value : value * hundredths)));
  }
}

void cb_pop_grain(Widget, XtPointer, XtPointer) {
  set_grain_window();
  XtPopup(grain_shell, XtGrabNone);
  static bool placed = false;  // the first time only; then where the user left it
  if (!placed) place_beside(grain_shell, Ctrl_pannel);
  placed = true;
}
