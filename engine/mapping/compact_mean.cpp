// The mean reduction of a byte grid: the same bits as av_freq().
#include <cstring>

#include "engine/automaton/compact_grid.h"
#include "engine/mapping/compact_reduce.h"
#include "engine/automaton/kernel_threads.h"

namespace {

constexpr int max_side_blocks = 10;

// Each block adds its cells in the int kernel's order (mapping.cpp): G
// chains side by side, one per block. The order makes this a chain of
// scalar additions bound by loads and integer work, so the cells come
// eight to a load; packing the chains into vectors (more shuffles than
// additions) is kept out.
#if defined(__GNUC__) && !defined(__clang__)
#define ZELMORA_SCALAR_CHAINS __attribute__((optimize("no-tree-slp-vectorize", "no-tree-loop-vectorize")))
#else
#define ZELMORA_SCALAR_CHAINS
#endif
template <int G>
ZELMORA_SCALAR_CHAINS void add_to_blocks(const std::uint8_t* cells, int width,
                                         const float* frequency, float* sums) {
  // Unrolled, so the sums stay in registers.
  std::array<float, G> s;
#pragma GCC unroll 10
  for (int g = 0; g < G; ++g) s[g] = sums[g];
  int c = 0;
  for (; c + 8 <= width; c += 8) {
#pragma GCC unroll 10
    for (int g = 0; g < G; ++g) {
      std::uint64_t eight;
      std::memcpy(&eight, cells + g * width + c, sizeof eight);
#pragma GCC unroll 8
      for (int b = 0; b < 8; ++b) s[g] += frequency[(eight >> (8 * b)) & 255];
    }
  }
  for (; c < width; ++c) {
#pragma GCC unroll 10
    for (int g = 0; g < G; ++g) s[g] += frequency[cells[g * width + c]];
  }
#pragma GCC unroll 10
  for (int g = 0; g < G; ++g) sums[g] = s[g];
}

// All the blocks of a row at once: up to ten independent chains keep both
// adders busy where four wait on each other.
void add_row_to_blocks(const std::uint8_t* cells, int blocks, int width, const float* frequency,
                       float* sums) {
  switch (blocks) {
    case 10: add_to_blocks<10>(cells, width, frequency, sums); break;
    case 9: add_to_blocks<9>(cells, width, frequency, sums); break;
    case 8: add_to_blocks<8>(cells, width, frequency, sums); break;
    case 7: add_to_blocks<7>(cells, width, frequency, sums); break;
    case 6: add_to_blocks<6>(cells, width, frequency, sums); break;
    case 5: add_to_blocks<5>(cells, width, frequency, sums); break;
    case 4: add_to_blocks<4>(cells, width, frequency, sums); break;
    case 3: add_to_blocks<3>(cells, width, frequency, sums); break;
    case 2: add_to_blocks<2>(cells, width, frequency, sums); break;
    case 1: add_to_blocks<1>(cells, width, frequency, sums); break;
    default: break;
  }
}
}  // namespace

void compact_av_freq(const compact_grid& grid, frequency_array& freq,
                     const std::array<float, max_states>& frequency, int noinstrm,
                     row_pool& rows) {
  const block_layout b = layout_for(noinstrm, grid.x, grid.y);
  std::array<float, 256> by_cell;
  for (int v = 0; v < 256; ++v) by_cell[v] = frequency[std::min(v, max_states - 1)];
  const double cells = static_cast<double>(b.bx) * b.by;
  rows.run_rows(b.n, worth_splitting(grid.x, grid.y), [&](int, int first, int last) {
    for (int bi = first; bi < last; ++bi) {
      std::array<float, max_side_blocks> sums{};
      for (int r = bi * b.bx + 1; r <= bi * b.bx + b.bx; ++r)
        add_row_to_blocks(&grid.rows[r][1], b.n, b.by, by_cell.data(), sums.data());
      for (int bj = 0; bj < b.n; ++bj)
        freq[bi * b.n + bj] = cells > 0 ? static_cast<float>(sums[bj] / cells) : 0.0f;
    }
  });
}
