// The reductions of mapping.h over a byte grid, giving the same bits: the
// kernels of compact_mean.cpp and compact_mode.cpp, on AVX2 or portable code
// as active_kernel_set() says, their rows shared by kernel_threads() threads.
#pragma once

#include <array>

#include "engine/automaton/compact_grid.h"
#include "engine/mapping/mapping.h"
#include "engine/types.h"

void compact_av_freq(const compact_grid& grid, frequency_array& freq,
                     const std::array<float, max_states>& frequency, int noinstrm);
void compact_md_freq(const compact_grid& grid, frequency_array& freq,
                     const std::array<float, max_states>& frequency, int noinstrm);
