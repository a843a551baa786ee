// Applying the event list while a score is rendered.
#pragma once

#include <functional>

#include "engine/types.h"

// Applies the events due at Current_Iteration and steps a running
// interpolation; the grid is reseeded by a due reseed event.
void update_parameters(grid_type& grid);

// The same on any engine, for a render that holds its grid otherwise: each
// due reseed event calls `reseed`. The engine's views are refreshed.
struct engine;
void apply_due_events(engine& e, const std::function<void()>& reseed);

// With params: start a glide towards them and take its first step.
// Without: one more step of the running glide.
void interp_params(const parameters_type* params, int time, int end_time);
void interp_params(engine& e, const parameters_type* params, int time, int end_time);

// a + ((b - a) / d) * e in double precision, rounded to float.
float interpolate(float a, float b, int d, int e);
