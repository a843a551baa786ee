// Each kernel of the mode's block counting the processor runs, against a
// count cell by cell: the fastest one hides the others from md_freq.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <random>
#include <vector>

#include "engine/mapping.h"
#include "engine/mode_kernels.h"

namespace {

using counters = std::array<std::int32_t, 10 * block_counter_stride>;

counters count_cell_by_cell(const grid_type& grid, int first_row, int rows, int blocks,
                            int block_width) {
  counters counts{};
  for (int r = first_row; r < first_row + rows; ++r)
    for (int c = 1; c <= blocks * block_width; ++c)
      counts[(c - 1) / block_width * block_counter_stride + table_state(grid[r][c])] += 1;
  return counts;
}

// Runs of random length, now and then a value outside the tables or one
// that clamps to the same state as its neighbour.
void fill_with_runs(grid_type& grid, std::mt19937& rng) {
  std::uniform_int_distribution<int> length(1, 40);
  std::uniform_int_distribution<int> state(0, 99);
  std::uniform_int_distribution<int> odd(0, 9);
  for (auto& row : grid) {
    for (int c = 0; c < grid_side;) {
      int value = state(rng);
      switch (odd(rng)) {
        case 0: value = -1 - state(rng) * 1000; break;
        case 1: value = 100 + state(rng) * 1000; break;
        default: break;
      }
      for (int n = length(rng); n > 0 && c < grid_side; --n, ++c)
        row[c] = odd(rng) == 0 ? value + 1 : value;
    }
  }
}

TEST(mode_kernel_test, EveryKernelCountsAsCellByCell) {
  auto grid = std::make_unique<grid_type>();
  std::mt19937 rng(77);
  fill_with_runs(*grid, rng);
  struct shape {
    int first_row, rows, blocks, block_width;
  };
  const std::vector<shape> shapes = {{1, 100, 10, 100}, {901, 100, 10, 100}, {1, 1000, 1, 1000},
                                     {998, 3, 7, 3},    {5, 2, 10, 1},       {1, 1, 1, 17},
                                     {400, 9, 3, 333},  {1000, 1, 10, 99},   {2, 4, 4, 16}};
  for (const mode_kernel kernel : {mode_kernel::avx512, mode_kernel::avx2, mode_kernel::portable}) {
    if (!processor_runs(kernel)) continue;
    for (const shape& s : shapes) {
      SCOPED_TRACE(::testing::Message() << "kernel " << static_cast<int>(kernel) << " rows "
                                        << s.first_row << "+" << s.rows << " blocks " << s.blocks
                                        << " x " << s.block_width);
      counters counts{};
      count_block_row(*grid, s.first_row, s.rows, s.blocks, s.block_width, counts.data(), kernel);
      EXPECT_EQ(counts, count_cell_by_cell(*grid, s.first_row, s.rows, s.blocks, s.block_width));
    }
  }
}

}  // namespace
