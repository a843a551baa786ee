#include "engine/mapping/retune.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>

#include "engine/engine.h"
#include "engine/limits.h"
#include "engine/mapping/exact_frequencies.h"
#include "engine/mapping/scales.h"
#include "engine/mapping/tuning.h"

namespace {

constexpr double max_folds = 1e6;

struct frequency_span {
  double lowest_octaves, highest_octaves;  // log2 of Hz
};

frequency_span state_span() {
  return {std::log2(position_hertz(state_limits.lowest)),
          std::log2(position_hertz(state_limits.highest))};
}

// Degree d's frequency brought inside the span by whole periods: `folds`
// is negative when it came down, positive when up; nothing when no number
// of periods brings it inside (a period wider than the span, a degree a
// million periods away).
std::optional<double> folded_hz(const scale_tones& tones, long degree, int& folds) {
  const frequency_span span = state_span();
  const double period = tones.period() / 1200.0;
  const double cents = degree_cents(tones.scale, degree);
  const double octaves = tones.degree0_octaves + cents / 1200.0;
  double shift = 0.0;
  if (octaves > span.highest_octaves)
    shift = -std::ceil((octaves - span.highest_octaves) / period);
  else if (octaves < span.lowest_octaves)
    shift = std::ceil((span.lowest_octaves - octaves) / period);
  const double moved = octaves + shift * period;
  // Degrees of a far formal octave can lie beyond any count of periods.
  if (!(std::abs(shift) < max_folds) || moved < span.lowest_octaves ||
      moved > span.highest_octaves)
    return std::nullopt;
  folds = static_cast<int>(shift);
  return cents_hz(tones, cents + shift * tones.period());
}

void count_fold(int state, int folds, retune_report& report) {
  if (folds < 0 && report.folded_down++ == 0) report.first_folded_down = state;
  if (folds > 0 && report.folded_up++ == 0) report.first_folded_up = state;
}

}  // namespace

bool retune_states(engine& e, const tuning_source& source, retune_report& report) {
  report = {};
  const tuning& now = tuning_of(e);
  const scala_scale& scale =
      source.scale ? *source.scale : now.tones ? now.tones->scale : equal_tempered_scale();
  const keyboard_map map = source.map ? *source.map : now.tones ? now.tones->map : keyboard_map{};
  const std::shared_ptr<const scale_tones> tones = place_scale(scale, map);
  const int count = std::clamp(e.state.Ns, 0, max_states);
  std::array<double, max_states> hz{};
  for (long key = std::max(map.reference_note, map.first_note);
       report.states < count && key <= map.last_note; ++key) {
    const std::optional<long> degree = key_degree(map, tones->notes(), key);
    if (!degree) continue;
    int folds = 0;
    const std::optional<double> f = folded_hz(*tones, *degree, folds);
    if (!f) {
      report.refused = "state " + std::to_string(report.states) + " (degree " +
                       std::to_string(*degree) +
                       ") cannot be brought between the lowest and highest frequency by "
                       "periods of this scale";
      return false;
    }
    count_fold(report.states, folds, report);
    hz[static_cast<std::size_t>(report.states++)] = *f;
  }
  if (report.states < count) {
    report.first_unreached = report.states;
    report.last_note = map.last_note;
  }
  for (int i = 0; i < report.states; ++i) {
    // Inside the limits already, but for the last bit of a far degree's rounding.
    const double position = std::clamp(hertz_position(hz[static_cast<std::size_t>(i)]),
                                       state_limits.lowest, state_limits.highest);
    e.state.states[static_cast<std::size_t>(i)] = static_cast<float>(position);
    e.frequencies->keep(i, static_cast<float>(position), hz[static_cast<std::size_t>(i)]);
  }
  tuning_of(e).tones = tones;
  return true;
}

std::string retune_notes(const retune_report& r) {
  std::string notes;
  std::array<char, 160> line{};
  const auto add = [&] {
    if (!notes.empty()) notes += "; ";
    notes += line.data();
  };
  // "3 states from state 70 passed 14764.78 Hz and came down by periods"
  const auto folds = [&](int count, int first, const char* where, int digits, double hz,
                         const char* went) {
    if (count == 0) return;
    std::snprintf(line.data(), line.size(), "%d state%s from state %d %s %.*f Hz and %s by periods",
                  count, count == 1 ? "" : "s", first, where, digits, hz, went);
    add();
  };
  folds(r.folded_down, r.first_folded_down, "passed", 2, position_hertz(state_limits.highest),
        "came down");
  folds(r.folded_up, r.first_folded_up, "lay below", 3, position_hertz(state_limits.lowest),
        "went up");
  if (r.first_unreached >= 0) {
    std::snprintf(line.data(), line.size(),
                  "the keys end at the mapping's last note %d: states from %d on keep their "
                  "frequencies",
                  r.last_note, r.first_unreached);
    add();
  }
  return notes;
}
