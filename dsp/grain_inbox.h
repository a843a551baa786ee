// Where live play hands its notes to the grain voices' opcode: a csound
// global variable the host creates before csound starts. The thread that
// owns csound fills it between control periods and the opcode empties it
// within one, so the two never run at once and no lock is needed.
#pragma once

#include <array>
#include <cstddef>

#include "dsp/grain_design.h"
#include "dsp/note.h"

constexpr const char* grain_inbox_name = "zelmora_grain_inbox";

struct grain_inbox {
  // Notes of many control periods at the densest play (100 voices, 1 ms
  // grains: about 75 a period).
  static constexpr std::size_t capacity = 4096;
  std::size_t count = 0;  // notes[0, count) wait, in start order
  std::array<note, capacity> notes{};
  // A grain design for the voices from their next control period on.
  grain_design design;
  bool design_waiting = false;
};
