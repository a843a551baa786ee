// MIDI bindings: which controller moves which control. Kept in a file of
// their own, never in a parameter set:
//
//   # channel controller control [low high]
//   1 7 r1 0.5 4
//   1 21 s5 220 880
//   1 22 i0
//
// Channels count 1 to 16, controllers 0 to 127; a control is named as in a
// parameter set: r1, r2, k, x, y, s<state>, i<instrument>, or a grain key
// (wave, window, overlap, jitter, width, space, limiter). The controller's
// travel spans `low` to `high` in the control's own units (r1, r2, k as
// they are; x, y in cells; a state in Hz; an instrument as a score
// amplitude; a grain key in its own), or without them the control's whole
// scale, slider or choices: evenly, but for frequencies and r1, r2, k,
// whose equal steps are equal ratios. A controller 0 ... 31 whose partner
// 32 ... 63 sends too (and is bound to nothing) moves in 14-bit steps.
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

// What a controller's travel spans, in the control's own units; `low`
// may lie above `high` (the control then falls as the controller rises).
struct binding_range {
  double low = 0.0, high = 0.0;
  bool operator==(const binding_range&) const = default;
};

struct binding {
  int channel = 1;     // 1 ... 16
  int controller = 0;  // 0 ... 127
  binding_target target;
  std::optional<binding_range> range{};  // none: the control's whole span
  bool operator==(const binding&) const = default;
};

// "r1", "s5", ... as a target; nothing for any other text.
std::optional<binding_target> parse_target(const std::string& name);
std::string target_name(const binding_target& target);

// The control's whole span in its own units (a state: 1 to 14764.78 Hz,
// its slider's), and whether equal steps over it are equal ratios.
binding_range full_range(const binding_target& target);
bool logarithmic(const binding_target& target);

// The span Learn gives a new binding, around `current` (the control's value
// now, in its units): r1, r2 and k a quarter to four times it, a state an
// octave below to an octave above, anything else its whole span; within
// the whole span.
binding_range learned_range(const binding_target& target, double current);

// The change a controller at `travel` (0 ... 1) of its way makes.
control_change target_change(const binding& b, double travel);

// "1 7 r1 0.5 4": a binding as its line in the file.
std::string binding_line(const binding& b);

class binding_table {
 public:
  const binding* find(int channel, int controller) const;
  // The change a controller message makes, if any: a bound controller's,
  // or a 14-bit pair's, whose second controller (32 ... 63) refines the
  // first (0 ... 31) once it has been heard.
  std::optional<control_change> change_for(int channel, int controller, int value);
  // A controller moves one control, and a control follows one controller:
  // binding either replaces what it was bound to.
  void bind(const binding& b);
  const std::vector<binding>& all() const { return bindings_; }
  void clear() { bindings_.clear(); }
  // Drops the binding of `target`, if any.
  void unbind(const binding_target& target);

 private:
  static constexpr int pairs = 32;  // controllers 0 ... 31 pair with 32 ... 63
  std::vector<binding> bindings_;
  // Per channel and first controller of a pair: its last value, and
  // whether its partner has been heard (it is a 14-bit controller).
  int coarse_[16][pairs] = {};
  bool fine_[16][pairs] = {};
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
