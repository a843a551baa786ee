// Undo and redo of every change the windows make to the parameter set, the
// grain design and the event list: sliders, scales, Lock moves, Auto-set,
// Reset, typed values, loads, event edits. A render's events are not the
// user's edits; what a render leaves is simply where the next edit starts
// from. The history also tells whether the set and the list have edits
// not saved.
#pragma once

#include <Xm/Xm.h>

#include <memory>
#include <string>

#include "dsp/grain_design.h"
#include "engine/types.h"
#include "ui/event_snapshot.h"

// What one step restores. Steps that leave the list alone share its copy.
struct undo_snapshot {
  parameters_type set{};
  int mean_mode = 0;
  grain_design grain{};
  std::shared_ptr<const event_records> events;
};

// Lives across one change: when it ends and anything differs from when it
// began, the earlier state becomes one undo step named `what` ("r1",
// "Delete Event": the Edit menu reads "Undo r1") and the redo steps are
// dropped. `events` marks a change that may touch the event list. A change
// named as the step before it, made within a second of it (arrow presses,
// keys held on a slider), joins that step.
class undoable_change {
 public:
  explicit undoable_change(std::string what, bool events = false);
  ~undoable_change();
  undoable_change(const undoable_change&) = delete;
  undoable_change& operator=(const undoable_change&) = delete;

 private:
  undo_snapshot before_;
  std::string what_;
  bool events_;
};

// Each restores the step and shows it in every window; false when there
// was none (or the Edit menu's entry is greyed, as while a render reads
// the set).
bool undo_change();
bool redo_change();
// Drops every step (start-up, tests), and counts what there is as saved.
void forget_changes();

// Whether the set (with its reduction and grain design) or the event list
// has edits since it was last saved or loaded; the marks say it was.
bool set_unsaved();
bool list_unsaved();
void mark_set_saved();
void mark_list_saved();

// The "Edit" menu ("Undo" Ctrl+Z, "Redo" Ctrl+Shift+Z) in the control
// panel's menu bar; returns its title.
Widget build_edit_menu(Widget menu_bar);
