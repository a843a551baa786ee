#include "ui/undo.h"

#include <Xm/CascadeB.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>

#include <vector>

#include "engine/externs.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/widgets.h"

namespace {

// Enough for a long session of slider moves, at 900 bytes a step.
constexpr std::size_t most_steps = 1000;

std::vector<undo_snapshot> undo_steps;
std::vector<undo_snapshot> redo_steps;
Widget undo_entry = nullptr;
Widget redo_entry = nullptr;

undo_snapshot now() { return {Current_State, Mean_Mode}; }

void show_availability() {
  if (undo_entry) XtSetSensitive(undo_entry, !undo_steps.empty());
  if (redo_entry) XtSetSensitive(redo_entry, !redo_steps.empty());
}

void restore(const undo_snapshot& step) {
  Current_State = step.set;
  Mean_Mode = step.mean_mode;
  show_reduction();
  set_control();
  set_all_frequencies();
  set_all_amplitudes();
  show_availability();
}

// From one list to the other: the state now goes where `to` keeps it.
bool step_over(std::vector<undo_snapshot>& from, std::vector<undo_snapshot>& to) {
  if (from.empty()) return false;
  to.push_back(now());
  const undo_snapshot step = from.back();
  from.pop_back();
  restore(step);
  return true;
}

void cb_undo(Widget, XtPointer, XtPointer) { undo_change(); }
void cb_redo(Widget, XtPointer, XtPointer) { redo_change(); }

void act_undo(Widget, XEvent*, String*, Cardinal*) { undo_change(); }
void act_redo(Widget, XEvent*, String*, Cardinal*) { redo_change(); }

// The keys are said beside the entry; take_undo_keys() makes them work,
// in every window alike (a menu accelerator would reach the control panel
// only).
Widget make_entry(Widget menu, const char* name, const char* text, const char* key_text,
                  XtCallbackProc callback) {
  const compound_string label = make_label(text);
  const compound_string keys = make_label(key_text);
  Widget entry = XtVaCreateManagedWidget(name, xmPushButtonWidgetClass, menu, XmNlabelString,
                                         label.get(), XmNacceleratorText, keys.get(), nullptr);
  XtAddCallback(entry, XmNactivateCallback, callback, nullptr);
  return entry;
}

}  // namespace

undoable_change::undoable_change() : before_(now()) {}

undoable_change::~undoable_change() {
  if (now() == before_) return;
  undo_steps.push_back(before_);
  if (undo_steps.size() > most_steps) undo_steps.erase(undo_steps.begin());
  redo_steps.clear();
  show_availability();
}

bool undo_change() { return step_over(undo_steps, redo_steps); }
bool redo_change() { return step_over(redo_steps, undo_steps); }

void forget_changes() {
  undo_steps.clear();
  redo_steps.clear();
  show_availability();
}

void build_edit_menu(Widget menu_bar) {
  Widget menu = XmCreatePulldownMenu(menu_bar, const_cast<char*>("edit_menu"), nullptr, 0);
  const compound_string label = make_label("Edit");
  XtVaCreateManagedWidget("edit_button", xmCascadeButtonWidgetClass, menu_bar, XmNlabelString,
                          label.get(), XmNsubMenuId, menu, nullptr);
  undo_entry = make_entry(menu, "undo_button", "Undo", "Ctrl+Z", cb_undo);
  redo_entry = make_entry(menu, "redo_button", "Redo", "Ctrl+Shift+Z", cb_redo);
  show_availability();
}

void take_undo_keys(Widget top) {
  static XtActionsRec actions[] = {{const_cast<char*>("undo-change"), act_undo},
                                   {const_cast<char*>("redo-change"), act_redo}};
  static bool added = false;
  if (!added) {
    XtAppAddActions(XtWidgetToApplicationContext(top), actions, XtNumber(actions));
    added = true;
  }
  static XtTranslations keys = XtParseTranslationTable(
      "Ctrl Shift<Key>z: redo-change()\nCtrl ~Shift<Key>z: undo-change()\n");
  for_each_widget(top, [](Widget w) {
    if (XtIsWidget(w) && !XtIsShell(w)) XtOverrideTranslations(w, keys);
  });
}
