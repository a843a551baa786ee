// MIDI bindings: which controller moves which control. Kept in a file of
// their own, never in a parameter set:
//
//   # channel controller control
//   1 7 r1
//   1 21 s5
//
// Channels count 1 to 16, controllers 0 to 127; a control is named as in a
// parameter set: r1, r2, k, x, y, s<state> (slider 0 ... 100), i<instrument>
// (slider 0 ... 100), or a grain key (wave, window, overlap, jitter, width,
// space, limiter). The controller's 0 ... 127 spans the control's scale,
// slider or choices.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "control/control_change.h"

struct binding_target {
  control_kind kind = control_kind::r1;
  int index = 0;
  bool operator==(const binding_target&) const = default;
};

struct binding {
  int channel = 1;     // 1 ... 16
  int controller = 0;  // 0 ... 127
  binding_target target;
  bool operator==(const binding&) const = default;
};

// "r1", "s5", ... as a target; nothing for any other text.
std::optional<binding_target> parse_target(const std::string& name);
std::string target_name(const binding_target& target);

// The change a controller value 0 ... 127 makes to `target`.
control_change target_change(const binding_target& target, int value);

class binding_table {
 public:
  const binding* find(int channel, int controller) const;
  // A controller moves one control, and a control follows one controller:
  // binding either replaces what it was bound to.
  void bind(const binding& b);
  const std::vector<binding>& all() const { return bindings_; }
  void clear() { bindings_.clear(); }

 private:
  std::vector<binding> bindings_;
};

// The program's bindings; engine (toolkit) thread only.
extern binding_table Bindings;

// $XDG_CONFIG_HOME/zelmora/bindings, else ~/.config/zelmora/bindings.
std::string default_bindings_path();

// Reads a bindings file into `table`. A missing file is no bindings. A line
// that is not a binding refuses the file with a message naming it, and the
// table is left as it was.
bool read_bindings(const std::string& path, binding_table& table);
// Writes the table, replacing the file only once it is complete; makes
// the folder when missing.
bool write_bindings(const std::string& path, const binding_table& table);
