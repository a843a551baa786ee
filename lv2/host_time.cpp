#include "lv2/host_time.h"

#include <cmath>

#include <lv2/atom/util.h>

namespace {

// A number of any of the atom types a host may send one as.
bool number_of(const plugin_uris& uris, const LV2_Atom* atom, double& value) {
  if (!atom) return false;
  if (atom->type == uris.atom_Float) value = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
  else if (atom->type == uris.atom_Double) value = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
  else if (atom->type == uris.atom_Int) value = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
  else if (atom->type == uris.atom_Long) value = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
  else return false;
  return std::isfinite(value);
}

// A grain of 1/division note, in beats.
double grain_beats(const host_position& at, int division) {
  return division > 0 ? at.beat_unit / division : 0.0;
}

}  // namespace

void read_position(const plugin_uris& uris, const LV2_Atom_Object& object, host_position& at) {
  const LV2_Atom *bpm = nullptr, *bar_beat = nullptr, *unit = nullptr, *speed = nullptr,
                 *frame = nullptr;
  lv2_atom_object_get(&object, uris.time_beatsPerMinute, &bpm, uris.time_barBeat, &bar_beat,
                      uris.time_beatUnit, &unit, uris.time_speed, &speed, uris.time_frame, &frame,
                      0);
  double value = 0;
  if (number_of(uris, bpm, value) && value > 0) at.beats_per_minute = value;
  if (number_of(uris, bar_beat, value) && value >= 0) at.bar_beat = value;
  if (number_of(uris, unit, value) && value >= 1) at.beat_unit = value;
  if (number_of(uris, speed, value)) at.speed = value;
  if (number_of(uris, frame, value)) at.frame = static_cast<std::int64_t>(value);
}

double note_grain_seconds(const host_position& at, int division) {
  if (at.beats_per_minute <= 0) return 0.0;
  return grain_beats(at, division) * 60.0 / at.beats_per_minute;
}

double seconds_to_next_grain(const host_position& at, int division) {
  const double grain = grain_beats(at, division);
  if (at.beats_per_minute <= 0 || grain <= 0) return 0.0;
  // Within a millionth of a beat of a start counts as on it.
  const double next = std::ceil(at.bar_beat / grain - 1e-6) * grain;
  return std::max(0.0, next - at.bar_beat) * 60.0 / at.beats_per_minute;
}
