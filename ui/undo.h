// Undo and redo of every change the windows make to the parameter set:
// sliders, scales, Lock moves, Auto-set, Reset, typed values and loads.
// A render's events are not the user's edits; what a render leaves is
// simply where the next edit starts from.
#pragma once

#include <Xm/Xm.h>

#include "engine/types.h"

// What one step restores: the set and the reduction.
struct undo_snapshot {
  parameters_type set{};
  int mean_mode = 0;
  bool operator==(const undo_snapshot&) const = default;
};

// Lives across one change: when it ends and the set or the reduction
// differs from when it began, the earlier state becomes one undo step and
// the redo steps are dropped.
class undoable_change {
 public:
  undoable_change();
  ~undoable_change();
  undoable_change(const undoable_change&) = delete;
  undoable_change& operator=(const undoable_change&) = delete;

 private:
  undo_snapshot before_;
};

// Each restores the step and shows it in every window; false when there
// was none.
bool undo_change();
bool redo_change();
// Drops every step (tests start afresh).
void forget_changes();

// The "Edit" menu ("Undo" Ctrl+Z, "Redo" Ctrl+Shift+Z) in the control
// panel's menu bar.
void build_edit_menu(Widget menu_bar);
// The keys Ctrl+Z and Ctrl+Shift+Z for every widget under `top` (the
// control panel, the States and Instruments windows).
void take_undo_keys(Widget top);
