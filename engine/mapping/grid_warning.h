// A grid smaller than one of its blocks reduces to no cells at all: every
// note is silent. Said (on standard error, and in a dialog in the windows)
// rather than rendered without a word.
#pragma once

#include "engine/types.h"

// True (and said) when `p`'s grid gives its blocks no cells.
bool warn_if_grid_is_silent(const parameters_type& p);
