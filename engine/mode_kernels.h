// Counting the states of a grid's blocks for the mode reduction, one
// addition per run of equal states instead of one per cell: the automaton's
// grids are mostly runs, and counting cell by cell waits on the same counter
// over and over. AVX-512, AVX2 or portable, chosen at run time.
#pragma once

#include <cstdint>

#include "engine/types.h"

// Counters of the blocks side by side: block j's counter of state s is
// entry j * block_counter_stride + s.
constexpr int block_counter_stride = 128;

// The instruction sets the counting has kernels for.
enum class mode_kernel { avx512, avx2, portable };

// The fastest one the processor runs; portable whenever the automaton step
// is forced to be (step_kernels.h).
mode_kernel best_mode_kernel();
bool processor_runs(mode_kernel kernel);

// For every cell of rows first_row..first_row+rows-1 and columns
// 1..blocks*block_width of grid: counts[block * block_counter_stride + s] += 1,
// block being (column - 1) / block_width and s the state the cell stands for
// in the 100-entry tables (negative as 0, 100 and more as 99). blocks is
// 1..10, blocks * block_width at most 1000, the rows within 1..1000; the
// kernel must be one processor_runs() accepts.
void count_block_row(const grid_type& grid, int first_row, int rows, int blocks, int block_width,
                     std::int32_t* counts, mode_kernel kernel);
