#include "ui/undo.h"

#include <Xm/PushB.h>
#include <Xm/RowColumn.h>

#include <chrono>
#include <climits>
#include <vector>

#include "engine/externs.h"
#include "ui/Xamp.h"
#include "ui/Xctrl.h"
#include "ui/Xfreq.h"
#include "ui/documents.h"
#include "ui/grain_window.h"
#include "ui/panel_menus.h"
#include "ui/widgets.h"

namespace {

using clock = std::chrono::steady_clock;

// Enough for a long session of slider moves, at about 1 kB a step.
constexpr std::size_t most_steps = 1000;
// Changes of one control this close together are one step.
constexpr std::chrono::milliseconds joining_interval{1000};
// Edits away from a saved state that no undo or redo can reach again.
constexpr int unreachable = INT_MAX / 2;

struct undo_step {
  undo_snapshot state;
  std::string what;
  bool set_changed = false, list_changed = false;
  clock::time_point made{};
};

std::vector<undo_step> undo_steps;
std::vector<undo_step> redo_steps;
Widget edit_title = nullptr;  // greyed while a render reads the set
Widget undo_entry = nullptr;
Widget redo_entry = nullptr;
// The list as the last step that touched it left it, shared by the steps
// after it.
std::shared_ptr<const event_records> current_events = std::make_shared<event_records>();
// Steps between now and the state last saved: negative when undone past it.
int set_distance = 0, list_distance = 0;

std::shared_ptr<const event_records> fresh_events() {
  return current_events = std::make_shared<event_records>(copy_event_list());
}

undo_snapshot now(bool with_fresh_events) {
  return {Current_State, Mean_Mode, Grain_Design,
          with_fresh_events ? fresh_events() : current_events};
}

bool same_set(const undo_snapshot& a, const undo_snapshot& b) {
  return a.set == b.set && a.mean_mode == b.mean_mode && a.grain == b.grain;
}

void label_entry(Widget entry, const char* verb, const std::vector<undo_step>& steps) {
  if (!entry) return;
  XtSetSensitive(entry, !steps.empty());
  set_label(entry, steps.empty() ? verb : (std::string(verb) + " " + steps.back().what).c_str());
}

void show_availability() {
  label_entry(undo_entry, "Undo", undo_steps);
  label_entry(redo_entry, "Redo", redo_steps);
}

void step_distance(int& distance, bool changed, int by) {
  if (changed && distance != unreachable) distance += by;
}

void restore(const undo_snapshot& step) {
  Current_State = step.set;
  Mean_Mode = step.mean_mode;
  Grain_Design = step.grain;
  if (step.events != current_events) {
    current_events = step.events;
    restore_event_list(*step.events);
    show_event_list();
  }
  show_reduction();
  set_grain_window();
  set_control();
  set_all_frequencies();
  set_all_amplitudes();
}

// From one list to the other: the state now goes where `to` keeps it.
bool step_over(std::vector<undo_step>& from, std::vector<undo_step>& to, int direction) {
  if (from.empty()) return false;
  undo_step step = std::move(from.back());
  from.pop_back();
  const undo_snapshot restored = step.state;
  step.state = now(step.list_changed);
  step_distance(set_distance, step.set_changed, direction);
  step_distance(list_distance, step.list_changed, direction);
  to.push_back(std::move(step));
  restore(restored);
  show_availability();
  show_event_list_name();
  return true;
}

void cb_undo(Widget, XtPointer, XtPointer) { undo_change(); }
void cb_redo(Widget, XtPointer, XtPointer) { redo_change(); }

void moved_from_saved(int& distance) {
  distance = distance < 0 || distance == unreachable ? unreachable : distance + 1;
}

}  // namespace

undoable_change::undoable_change(std::string what, bool events)
    : before_(now(events)), what_(std::move(what)), events_(events) {}

undoable_change::~undoable_change() {
  const undo_snapshot after = now(events_);
  const bool set_changed = !same_set(before_, after);
  const bool list_changed = events_ && *before_.events != *after.events;
  if (!list_changed) current_events = before_.events;
  if (!set_changed && !list_changed) return;
  const clock::time_point made = clock::now();
  const bool joins = !undo_steps.empty() && redo_steps.empty() && undo_steps.back().what == what_ &&
                     made - undo_steps.back().made < joining_interval && !list_changed &&
                     !undo_steps.back().list_changed && set_distance != 0;
  if (joins) {
    undo_steps.back().made = made;
  } else {
    undo_steps.push_back({before_, what_, set_changed, list_changed, made});
    if (set_changed) moved_from_saved(set_distance);
    if (list_changed) moved_from_saved(list_distance);
  }
  if (undo_steps.size() > most_steps) undo_steps.erase(undo_steps.begin());
  redo_steps.clear();
  show_availability();
  if (list_changed) show_event_list_name();
}

bool undo_change() {
  if (edit_title && !XtIsSensitive(edit_title)) return false;  // a render reads the set
  return step_over(undo_steps, redo_steps, -1);
}

bool redo_change() {
  if (edit_title && !XtIsSensitive(edit_title)) return false;
  return step_over(redo_steps, undo_steps, 1);
}

void forget_changes() {
  undo_steps.clear();
  redo_steps.clear();
  fresh_events();
  set_distance = list_distance = 0;
  show_availability();
}

bool set_unsaved() { return set_distance != 0; }
bool list_unsaved() { return list_distance != 0 && List_Size > 0; }
void mark_set_saved() { set_distance = 0; }
void mark_list_saved() { list_distance = 0; }

Widget build_edit_menu(Widget menu_bar) {
  Widget menu = XmCreatePulldownMenu(menu_bar, const_cast<char*>("edit_menu"), nullptr, 0);
  edit_title = make_cascade(menu_bar, "edit_button", "Edit", menu, 'E');
  undo_entry = make_menu_entry(menu, "undo_button", "Undo", cb_undo, 'U', "Ctrl+Z");
  redo_entry = make_menu_entry(menu, "redo_button", "Redo", cb_redo, 'R', "Ctrl+Shift+Z");
  show_availability();
  return edit_title;
}
