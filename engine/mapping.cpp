#include "engine/mapping.h"

#include <cmath>

#include "engine/automaton.h"
#include "engine/numeric.h"

float position_frequency(float position) {
  return static_cast<float>(std::exp(0.096 * static_cast<double>(position)));
}

int blocks_per_side(int noinstrm) {
  if (noinstrm < 1) return 0;
  return trunc_to_int(std::sqrt(static_cast<double>(noinstrm)));
}

namespace {

// The block geometry shared by both reductions.
struct block_layout {
  int n = 0;   // blocks per side
  int bx = 0;  // rows per block
  int by = 0;  // columns per block
};

block_layout layout_for(int noinstrm, int x, int y) {
  block_layout b;
  b.n = blocks_per_side(noinstrm);
  if (b.n > 0) {
    b.bx = clamp_extent(x) / b.n;
    b.by = clamp_extent(y) / b.n;
  }
  return b;
}

}  // namespace

void av_freq(const grid_type& grid, frequency_array& freq, const position_array& states,
             int noinstrm, int x, int y) {
  const block_layout b = layout_for(noinstrm, x, y);
  const double cells = static_cast<double>(b.bx) * b.by;
  for (int bi = 0; bi < b.n; ++bi) {
    for (int bj = 0; bj < b.n; ++bj) {
      // The running sum is single precision; its order of additions is part
      // of the result.
      float sum = 0.0f;
      for (int r = bi * b.bx + 1; r <= bi * b.bx + b.bx; ++r)
        for (int c = bj * b.by + 1; c <= bj * b.by + b.by; ++c)
          sum = static_cast<float>(static_cast<double>(sum) +
                                   position_frequency(states[table_state(grid[r][c])]));
      // An empty block is silent rather than 0/0.
      freq[bi * b.n + bj] = cells > 0 ? static_cast<float>(sum / cells) : 0.0f;
    }
  }
}

void md_freq(const grid_type& grid, frequency_array& freq, const position_array& states,
             int noinstrm, int x, int y) {
  const block_layout b = layout_for(noinstrm, x, y);
  std::array<int, max_states> histogram{};
  for (int bi = 0; bi < b.n; ++bi) {
    for (int bj = 0; bj < b.n; ++bj) {
      histogram.fill(0);
      for (int r = bi * b.bx + 1; r <= bi * b.bx + b.bx; ++r)
        for (int c = bj * b.by + 1; c <= bj * b.by + b.by; ++c)
          ++histogram[table_state(grid[r][c])];
      // Strictly greater: the lowest of equally frequent states wins.
      int mode = 0;
      int best = 0;
      for (int s = 0; s < max_states; ++s) {
        if (histogram[s] > best) {
          best = histogram[s];
          mode = s;
        }
      }
      freq[bi * b.n + bj] = position_frequency(states[mode]);
    }
  }
}

void writesound(std::FILE* fp, const frequency_array& freq,
                const std::array<float, max_instruments>& instrm, int count,
                int iteration, float dur) {
  if (count > max_instruments) count = max_instruments;
  const double start = static_cast<double>(iteration) * static_cast<double>(dur);
  for (int i = 0; i < count; ++i) {
    std::fprintf(fp, "i%d %f %f %f %f\n", i + 1, start, static_cast<double>(dur),
                 10.0 * static_cast<double>(instrm[i]), static_cast<double>(freq[i]));
  }
}
