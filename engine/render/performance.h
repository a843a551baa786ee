// What plays a render from outside while it runs: controls that wait for
// an iteration boundary, and a transposition and a velocity latched from
// the last note played on a keyboard. The engine calls these; the programs
// fill them in.
#pragma once

#include <array>

#include "engine/mapping/mapping.h"
#include "engine/types.h"

struct performance_hooks {
  // At the start of an iteration, after its events: controls that arrived
  // since the last one. True when they ask for a fresh seeding of the grid
  // the iteration reads.
  bool (*before_iteration)() = nullptr;
};

extern performance_hooks Performance;

// Every note's frequency is multiplied by `frequency` and its score
// amplitude by `amplitude`; 1 and 1 leave the set as it is, bit for bit.
struct note_scaling {
  float frequency = 1.0f;
  float amplitude = 1.0f;
};

extern note_scaling Note_Scaling;

// What before_iteration says; false when none is installed.
bool performance_before_iteration();

// Scales the first `count` frequencies in place and returns the amplitude
// positions the notes carry (`instrm` itself when nothing scales them).
const std::array<float, max_instruments>& scale_notes(
    frequency_array& freq, const std::array<float, max_instruments>& instrm, int count);
