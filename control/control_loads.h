// Files loaded from outside (/zelmora/load): read and parsed on a worker
// thread of their own, so that neither a large file nor a flood of loads
// holds up the engine, and handed to the engine's thread whole. Only a
// regular file of at most max_control_load_size bytes is read.
#pragma once

#include <cstddef>
#include <string>

#include "control/control_apply.h"

// An event list this size holds some thirty thousand events: some thirty
// megabytes once read.
constexpr std::size_t max_control_load_size = std::size_t{1} << 20;

// Engine thread: hands `path` (a .csp or .cse) to the worker, its blocks
// starting from the set in force now. A name of neither kind is refused
// at once.
void start_control_load(const std::string& path);

// Engine thread: whether a load is being read; changes that came after it
// wait meanwhile, so that they apply after it as they were sent.
bool control_load_running();

// Engine thread: applies a load the worker has finished, if any. While a
// render runs (`rendering`) a set keeps the grid, states, instruments and
// iterations in use, as events do, and a list plays on from the next
// iteration.
void finish_control_load(bool rendering, control_effects& effects);
