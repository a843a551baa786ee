#include "engine/mapping/mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/automaton/automaton.h"
#include "engine/engine.h"
#include "engine/mapping/exact_frequencies.h"
#include "engine/mapping/note_lines.h"
#include "engine/numeric.h"

int blocks_per_side(int noinstrm) {
  if (noinstrm < 1) return 0;
  return trunc_to_int(std::sqrt(static_cast<double>(noinstrm)));
}

block_layout layout_for(int noinstrm, int x, int y) {
  block_layout b;
  // The frequency array holds 100 blocks at most.
  b.n = blocks_per_side(noinstrm < max_instruments ? noinstrm : max_instruments);
  if (b.n > 0) {
    b.bx = clamp_extent(x) / b.n;
    b.by = clamp_extent(y) / b.n;
  }
  return b;
}

const std::array<float, max_states>& state_frequencies(const position_array& states) {
  return default_engine().frequencies->table(states);
}

namespace {

// Adds one row's cells to G neighbouring blocks of `width` columns. Each
// block keeps its own order of additions; the G chains of additions run side
// by side instead of one after the other. A float addition rounds exactly as
// the double sum stored back as a float does.
template <int G>
void add_to_blocks(const std::int32_t* cells, int width,
                   const std::array<float, max_states>& frequency, float* sums) {
  std::array<float, G> s;
  for (int g = 0; g < G; ++g) s[g] = sums[g];
  for (int c = 0; c < width; ++c)
    for (int g = 0; g < G; ++g) s[g] += frequency[table_state(cells[g * width + c])];
  for (int g = 0; g < G; ++g) sums[g] = s[g];
}

void add_row_to_blocks(const std::int32_t* cells, int blocks, int width,
                       const std::array<float, max_states>& frequency, float* sums) {
  int b = 0;
  for (; blocks - b >= 4; b += 4) add_to_blocks<4>(cells + b * width, width, frequency, sums + b);
  switch (blocks - b) {
    case 3: add_to_blocks<3>(cells + b * width, width, frequency, sums + b); break;
    case 2: add_to_blocks<2>(cells + b * width, width, frequency, sums + b); break;
    case 1: add_to_blocks<1>(cells + b * width, width, frequency, sums + b); break;
    default: break;
  }
}

constexpr int max_blocks_per_side = 10;  // sqrt of max_instruments

}  // namespace

int mode_of(const std::int32_t* counts) {
  int mode = 0;
  int best = 0;
  for (int s = 0; s < max_states; ++s) {
    if (counts[s] > best) {
      best = counts[s];
      mode = s;
    }
  }
  return mode;
}

void av_freq(const grid_type& grid, frequency_array& freq, const position_array& states,
             int noinstrm, int x, int y) {
  av_freq_from(grid, freq, state_frequencies(states), noinstrm, x, y);
}

void av_freq_from(const grid_type& grid, frequency_array& freq,
             const std::array<float, max_states>& frequency, int noinstrm, int x, int y) {
  const block_layout b = layout_for(noinstrm, x, y);
  const double cells = static_cast<double>(b.bx) * b.by;
  for (int bi = 0; bi < b.n; ++bi) {
    std::array<float, max_blocks_per_side> sums{};
    for (int r = bi * b.bx + 1; r <= bi * b.bx + b.bx; ++r)
      add_row_to_blocks(&grid[r][1], b.n, b.by, frequency, sums.data());
    // An empty block is silent rather than 0/0.
    for (int bj = 0; bj < b.n; ++bj)
      freq[bi * b.n + bj] = cells > 0 ? static_cast<float>(sums[bj] / cells) : 0.0f;
  }
}

void md_freq(const grid_type& grid, frequency_array& freq, const position_array& states,
             int noinstrm, int x, int y) {
  md_freq_from(grid, freq, state_frequencies(states), noinstrm, x, y);
}

void md_freq_from(const grid_type& grid, frequency_array& freq,
             const std::array<float, max_states>& frequency, int noinstrm, int x, int y) {
  const block_layout b = layout_for(noinstrm, x, y);
  for (int block = 0; block < b.n * b.n; ++block) {
    std::array<std::int32_t, max_states> counts{};
    const int top = block / b.n * b.bx + 1;
    const int left = block % b.n * b.by + 1;
    for (int r = top; r < top + b.bx; ++r)
      for (int c = left; c < left + b.by; ++c) ++counts[table_state(grid[r][c])];
    freq[block] = frequency[mode_of(counts.data())];
  }
}

void writesound(std::FILE* fp, const frequency_array& freq,
                const std::array<float, max_instruments>& instrm, int count,
                int iteration, float dur) {
  note_array notes;
  write_note_lines(fp, make_notes(notes, freq, instrm, count,
                                  static_cast<double>(iteration) * static_cast<double>(dur), dur));
}

std::span<const note> make_notes(note_array& notes, const frequency_array& freq,
                                 const std::array<float, max_instruments>& instrm, int count,
                                 double start, double dur) {
  const int n = std::clamp(count, 0, max_instruments);
  for (int i = 0; i < n; ++i)
    notes[i] = {i + 1, start, dur, position_amplitude(instrm[i]),
                static_cast<double>(freq[i])};
  return {notes.data(), static_cast<std::size_t>(n)};
}
