// What plays an engine's render from outside while it runs: controls that
// wait for an iteration boundary, and a transposition and a velocity
// latched from the last note played on a keyboard. The engine calls these;
// the programs fill them in.
#pragma once

#include <array>

#include "engine/engine.h"
#include "engine/mapping/mapping.h"
#include "engine/types.h"

struct performance_hooks {
  // At the start of an iteration, after its events: controls that arrived
  // since the last one. True when they ask for a fresh seeding of the grid
  // the iteration reads.
  bool (*before_iteration)() = nullptr;
};

// Hooks are in an engine's list at most once, in the order added; they
// must outlive their place there.
void add_performance_hooks(engine& e, const performance_hooks& hooks);
void remove_performance_hooks(engine& e, const performance_hooks& hooks);

// The default engine's scaling (engine.h).
extern note_scaling& Note_Scaling;

// What a keyboard's note-on asks: every frequency moved by key - 60
// semitones (and `semitones` more), every score amplitude scaled by
// velocity / 127.
note_scaling key_scaling(int key, double velocity, double semitones = 0.0);

// Calls every before_iteration of `e`; true when one asks for a reseed.
bool performance_before_iteration(const engine& e);

// Scales the first `count` frequencies in place and returns the amplitude
// positions the notes carry: `instrm` itself when nothing scales them, or
// `scaled` filled in.
const std::array<float, max_instruments>& scale_notes(
    const note_scaling& scaling, frequency_array& freq,
    const std::array<float, max_instruments>& instrm, int count,
    std::array<float, max_instruments>& scaled);
