// The host's tempo and transport (time:Position), and the grain they give
// when the iteration clock is locked to the beat: a grain of 1/N note,
// iterations starting on the grid of those notes.
#pragma once

#include <cstdint>

#include <lv2/atom/atom.h>

#include "lv2/uris.h"

struct host_position {
  double beats_per_minute = 0;  // 0: the host never said
  double bar_beat = 0;          // the beat within the bar at `frame`
  double beat_unit = 4;         // the note a beat is: 4 a quarter
  double speed = 0;             // 0 stopped, 1 playing
  std::int64_t frame = -1;      // of the transport
  bool rolling() const { return speed != 0; }
};

// Takes the fields a time:Position object brings; the others stay.
void read_position(const plugin_uris& uris, const LV2_Atom_Object& object, host_position& at);

// The length of a 1/`division` note (seconds); 0 without a tempo.
double note_grain_seconds(const host_position& at, int division);
// From the position to the next start of a 1/`division` note (seconds;
// 0 on one).
double seconds_to_next_grain(const host_position& at, int division);
