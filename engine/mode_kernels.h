// Counting the states of a grid row for the mode reduction, one addition per
// run of equal states instead of one per cell: the automaton's grids are
// mostly runs, and counting cell by cell waits on the same counter over and
// over. AVX2 or portable, as the automaton step chooses (step_kernels.h).
#pragma once

#include <array>
#include <cstdint>

#include "engine/types.h"

// Counters of the blocks side by side: block j's counter of state s is
// entry j * block_counter_stride + s.
constexpr int block_counter_stride = 128;

// For every cell c of cells[0..width): counts[first_counter[c] + s] += 1,
// s being the state the cell stands for in the 100-entry tables (negative as
// 0, 100 and more as 99). first_counter[c] is the first counter of the
// cell's block. width is at most 1000.
void count_row_states(const std::int32_t* cells, int width, const std::uint16_t* first_counter,
                      std::int32_t* counts);
