// Outside control of tuning and tempo, for the default engine:
//
//   /zelmora/scale s      a .scl scale or .kbm mapping; the states take it
//   /zelmora/quantize i   1: block frequencies snap to the scale's tones
//   /zelmora/tempo f      grains on a beat grid of f beats a minute; 0: none
//
// The file is read and checked on the OSC thread; the engine's thread only
// takes what was read.
#pragma once

#include <lo/lo.h>

#include "control/control_apply.h"
#include "control/control_change.h"

// Adds the three addresses to an OSC server queueing into `inbox`.
void add_tuning_methods(lo_server server, control_queue& inbox);

// Applies a scale, quantize or tempo change. Engine thread only.
void apply_tuning_control(const control_change& change, control_effects& effects);
