// Grain mapping: a grid cut into n x n blocks, each reduced to a frequency,
// and the score note statements.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>

#include "dsp/note.h"
#include "engine/mapping/scales.h"
#include "engine/types.h"

using frequency_array = std::array<float, max_instruments>;
using position_array = std::array<float, max_states>;

// The state whose position table entry a cell value uses: values outside the
// 100-entry tables are taken as the nearest end.
constexpr int table_state(int v) { return v < 0 ? 0 : (v >= max_states ? max_states - 1 : v); }

// Every state's frequency as it sounds in the default engine
// (exact_frequencies.h), recomputed only when a position or a kept
// frequency changed.
const std::array<float, max_states>& state_frequencies(const position_array& states);

// n = trunc(sqrt(noinstrm)), 0 for noinstrm below 1.
int blocks_per_side(int noinstrm);

// The block geometry shared by the reductions: at most 10 x 10 blocks.
struct block_layout {
  int n = 0;   // blocks per side
  int bx = 0;  // rows per block
  int by = 0;  // columns per block
};
block_layout layout_for(int noinstrm, int x, int y);

// Fill entries 0..n*n-1 of freq with block means / block modes of an int
// grid. The render reduces its byte grids with compact_reduce.h's kernels.
void av_freq(const grid_type& grid, frequency_array& freq, const position_array& states,
             int noinstrm, int x, int y);
void md_freq(const grid_type& grid, frequency_array& freq, const position_array& states,
             int noinstrm, int x, int y);
// The same from a table of every state's sounding frequency.
void av_freq_from(const grid_type& grid, frequency_array& freq,
                  const std::array<float, max_states>& frequency, int noinstrm, int x, int y);
void md_freq_from(const grid_type& grid, frequency_array& freq,
                  const std::array<float, max_states>& frequency, int noinstrm, int x, int y);

// The state counted most often among max_states counters; strictly greater
// wins, so the lowest of equally frequent states wins and a block without
// cells has mode 0.
int mode_of(const std::int32_t* counts);

// One "i%d %f %f %f %f\n" line per note, instruments 1..count, starting at
// iteration * dur.
void writesound(std::FILE* fp, const frequency_array& freq,
                const std::array<float, max_instruments>& instrm, int count,
                int iteration, float dur);

// Notes 1..count (at most max_instruments) of an iteration starting at
// `start` seconds, into `notes`.
using note_array = std::array<note, max_instruments>;
std::span<const note> make_notes(note_array& notes, const frequency_array& freq,
                                 const std::array<float, max_instruments>& instrm, int count,
                                 double start, double dur);
