#include "engine/mode_kernels.h"

#include <immintrin.h>

#include <algorithm>
#include <array>

#include "engine/step_kernels.h"

// A row is reduced to its runs: where each run starts and which counter
// (first counter of the cell's block + state) it adds its length to.

namespace {

constexpr int row_slack = 64;  // room for whole vectors past the last cell
constexpr int max_blocks = 10;

// What the kernels need to know about the columns; rebuilt when the blocks
// change.
struct column_layout {
  int blocks = 0;
  int block_width = 0;
  // The first counter of each column's block.
  alignas(64) std::array<std::uint16_t, max_grid + row_slack> first_counter{};
  // first_counter << 16 | column: a run's entry once its state is added in
  // the high half.
  alignas(64) std::array<std::uint32_t, max_grid + row_slack> entry_base{};
  // Columns that start a block, 16 to a word: each starts a run whatever
  // its left neighbour holds.
  std::array<std::uint16_t, (max_grid + row_slack) / 16> block_starts{};
};

column_layout layout;

void prepare_layout(int blocks, int block_width) {
  if (layout.blocks == blocks && layout.block_width == block_width) return;
  layout = column_layout{};
  layout.blocks = blocks;
  layout.block_width = block_width;
  const int width = blocks * block_width;
  for (int c = 0; c < width; ++c) {
    layout.first_counter[c] = static_cast<std::uint16_t>(c / block_width * block_counter_stride);
    layout.entry_base[c] = static_cast<std::uint32_t>(layout.first_counter[c]) << 16 |
                           static_cast<std::uint32_t>(c);
    if (c % block_width == 0)
      layout.block_starts[c / 16] |= static_cast<std::uint16_t>(1u << (c % 16));
  }
}

// Portable and AVX2 ----------------------------------------------------------

// keys[0] is a key no cell has, so the first cell always starts a run.
constexpr std::uint16_t no_key = 0xFFFF;
alignas(32) std::array<std::uint16_t, 1 + max_grid + row_slack> key_buffer{no_key};
alignas(32) std::array<std::int32_t, max_grid + row_slack> run_starts;

std::uint16_t key_of(std::int32_t cell, std::uint16_t first_counter) {
  return static_cast<std::uint16_t>(first_counter + std::clamp(cell, 0, max_states - 1));
}

void add_runs(const std::uint16_t* keys, int runs, int width, std::int32_t* counts) {
  run_starts[runs] = width;
  for (int i = 0; i < runs; ++i) {
    const int start = run_starts[i];
    counts[keys[start]] += run_starts[i + 1] - start;
  }
}

// From `first` on; returns the number of runs listed.
int list_runs_portable(const std::uint16_t* keys, int first, int width, int runs) {
  for (int c = first; c < width; ++c) {
    run_starts[runs] = c;
    runs += keys[c] != keys[c - 1] ? 1 : 0;
  }
  return runs;
}

void count_row_portable(const std::int32_t* cells, int width, std::int32_t* counts) {
  std::uint16_t* keys = key_buffer.data() + 1;
  for (int c = 0; c < width; ++c) keys[c] = key_of(cells[c], layout.first_counter[c]);
  add_runs(keys, list_runs_portable(keys, 0, width, 0), width, counts);
}

// For each 8-bit mask, the positions of its set bits in ascending order: a
// compress of eight lanes by one permute.
struct left_pack_table {
  std::array<std::array<std::int32_t, 8>, 256> lanes{};
};

constexpr left_pack_table make_left_pack_table() {
  left_pack_table t;
  for (int mask = 0; mask < 256; ++mask) {
    int k = 0;
    for (int bit = 0; bit < 8; ++bit)
      if ((mask >> bit) & 1) t.lanes[mask][k++] = bit;
  }
  return t;
}

alignas(64) constexpr left_pack_table left_pack = make_left_pack_table();

__attribute__((target("avx2"))) __m256i load(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

// 16 cells' keys. Saturating packs do the clamping: signed 16 bits, then
// 0..99.
__attribute__((target("avx2"))) __m256i keys_of(const std::int32_t* cells,
                                                const std::uint16_t* first_counter) {
  const __m256i states =
      _mm256_permute4x64_epi64(_mm256_packs_epi32(load(cells), load(cells + 8)), 0xD8);
  const __m256i clamped = _mm256_min_epi16(_mm256_max_epi16(states, _mm256_setzero_si256()),
                                           _mm256_set1_epi16(max_states - 1));
  return _mm256_add_epi16(clamped, load(first_counter));
}

// Each key next to the one before it: `keys` moved up one lane, the last of
// `before` entering at the bottom. Kept in registers, since reading back
// keys just stored at an offset would stall on the store buffer.
__attribute__((target("avx2"))) __m256i previous_keys(__m256i before, __m256i keys) {
  return _mm256_alignr_epi8(keys, _mm256_permute2x128_si256(before, keys, 0x21), 14);
}

// The run starts among 32 cells, as 1 bits.
__attribute__((target("avx2"))) std::uint32_t run_start_bits(__m256i before, __m256i low,
                                                             __m256i high) {
  const __m256i same_low = _mm256_cmpeq_epi16(low, previous_keys(before, low));
  const __m256i same_high = _mm256_cmpeq_epi16(high, previous_keys(low, high));
  const __m256i same = _mm256_permute4x64_epi64(_mm256_packs_epi16(same_low, same_high), 0xD8);
  return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(same));
}

__attribute__((target("avx2,popcnt"))) void count_row_avx2(const std::int32_t* cells, int width,
                                                           std::int32_t* counts) {
  const std::uint16_t* first_counter = layout.first_counter.data();
  std::uint16_t* keys = key_buffer.data() + 1;
  // Shuffles are the scarce resource here: the tables hold whole lanes and
  // the column numbers of each quarter are made by additions.
  const __m256i first_columns = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i quarter = _mm256_set1_epi32(8);
  __m256i before = _mm256_set1_epi16(static_cast<short>(no_key));
  int runs = 0;
  int c = 0;
  for (; c + 32 <= width; c += 32) {
    const __m256i low = keys_of(cells + c, first_counter + c);
    const __m256i high = keys_of(cells + c + 16, first_counter + c + 16);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(keys + c), low);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(keys + c + 16), high);
    const std::uint32_t starts = run_start_bits(before, low, high);
    before = high;
    __m256i positions = _mm256_add_epi32(first_columns, _mm256_set1_epi32(c));
    for (int part = 0; part < 4; ++part) {
      const std::uint32_t mask = (starts >> (8 * part)) & 0xFF;
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(run_starts.data() + runs),
                          _mm256_permutevar8x32_epi32(positions, load(left_pack.lanes[mask].data())));
      runs += _mm_popcnt_u32(mask);
      positions = _mm256_add_epi32(positions, quarter);
    }
  }
  _mm256_zeroupper();
  for (int tail = c; tail < width; ++tail) keys[tail] = key_of(cells[tail], first_counter[tail]);
  add_runs(keys, list_runs_portable(keys, c, width, runs), width, counts);
}

// AVX-512 --------------------------------------------------------------------

// Each run start becomes one entry, state << 16 + entry_base: compare each
// cell with its left neighbour as read from memory (cells that clamp to the
// same state but differ only split a run, which changes no count), compress
// the entries of the starts, then turn each entry into (counter << 16 |
// length) with its successor, so adding a run costs two loads and an add.
// Runs go to two sets of counters in turn: neighbouring runs of the same
// state then do not wait on each other's addition.
alignas(64) std::array<std::uint32_t, max_grid + row_slack> run_entries;
// Pairs of 16-bit halves: length, then counter.
alignas(64) std::array<std::uint16_t, 2 * (max_grid + row_slack)> run_lengths;
std::array<std::int32_t, max_blocks * block_counter_stride> second_counts;

constexpr int prefetch_rows = 1;  // the next row is read while these runs are added

#define ZELMORA_AVX512 __attribute__((target("avx512f,avx2,popcnt")))

// The entries of the run starts among 16 cells at `cells`, of which `valid`
// are in the row, stored at `out`; returns their number.
ZELMORA_AVX512 inline __attribute__((always_inline)) int list_starts_512(
    const std::int32_t* cells, int c, __mmask16 valid, std::uint32_t* out) {
  const __m512i cell = _mm512_maskz_loadu_epi32(valid, cells + c);
  const __m512i left = _mm512_maskz_loadu_epi32(valid, cells + c - 1);
  const __mmask16 starts = static_cast<__mmask16>(
      (_mm512_cmpneq_epi32_mask(cell, left) | layout.block_starts[c / 16]) & valid);
  // The masked forms: g++ 12 warns that the unmasked ones read an undefined
  // vector.
  const __m512i state =
      _mm512_maskz_min_epi32(valid, _mm512_maskz_max_epi32(valid, cell, _mm512_setzero_si512()),
                             _mm512_set1_epi32(max_states - 1));
  const __m512i entry = _mm512_add_epi32(_mm512_maskz_slli_epi32(valid, state, 16),
                                         _mm512_load_si512(layout.entry_base.data() + c));
  _mm512_storeu_si512(out, _mm512_maskz_compress_epi32(starts, entry));
  return _mm_popcnt_u32(starts);
}

ZELMORA_AVX512 void count_row_avx512(const std::int32_t* cells, const std::int32_t* ahead,
                                     int width, std::int32_t* counts) {
  std::uint32_t* entries = run_entries.data();
  int runs = 0;
  int c = 0;
  for (; c + 16 <= width; c += 16) {
    _mm_prefetch(reinterpret_cast<const char*>(ahead + c), _MM_HINT_T0);
    runs += list_starts_512(cells, c, 0xFFFF, entries + runs);
  }
  if (c < width) {
    const auto in_row = static_cast<__mmask16>((1u << (width - c)) - 1);
    runs += list_starts_512(cells, c, in_row, entries + runs);
  }
  entries[runs] = static_cast<std::uint32_t>(width);  // the end of the last run
  // The column halves subtract to the run's length; the counter half stays.
  const __m512i counter_half = _mm512_set1_epi32(static_cast<int>(0xFFFF0000u));
  for (int i = 0; i < runs; i += 16) {
    const __m512i entry = _mm512_loadu_si512(entries + i);
    const __m512i next = _mm512_loadu_si512(entries + i + 1);
    _mm512_store_si512(run_lengths.data() + 2 * i,
                       _mm512_ternarylogic_epi32(counter_half, entry,
                                                 _mm512_sub_epi32(next, entry), 0xCA));
  }
  const std::uint16_t* run = run_lengths.data();
  std::int32_t* second = second_counts.data();
  int i = 0;
  for (; i + 2 <= runs; i += 2, run += 4) {
    counts[run[1]] += run[0];
    second[run[3]] += run[2];
  }
  if (i < runs) counts[run[1]] += run[0];
}

void count_block_row_avx512(const grid_type& grid, int first_row, int rows, int width,
                            std::int32_t* counts) {
  const int used = layout.blocks * block_counter_stride;
  std::fill_n(second_counts.begin(), used, 0);
  for (int r = first_row; r < first_row + rows; ++r) {
    const int ahead = std::min(r + prefetch_rows, grid_side - 1);
    count_row_avx512(&grid[r][1], &grid[ahead][1], width, counts);
  }
  for (int i = 0; i < used; ++i) counts[i] += second_counts[i];
}

}  // namespace

bool processor_runs(mode_kernel kernel) {
  __builtin_cpu_init();
  static const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("popcnt");
  static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
  switch (kernel) {
    case mode_kernel::avx512: return avx512;
    case mode_kernel::avx2: return avx2;
    case mode_kernel::portable: return true;
  }
  return false;
}

mode_kernel best_mode_kernel() {
  if (active_kernel_set() == kernel_set::portable) return mode_kernel::portable;
  if (processor_runs(mode_kernel::avx512)) return mode_kernel::avx512;
  return processor_runs(mode_kernel::avx2) ? mode_kernel::avx2 : mode_kernel::portable;
}

void count_block_row(const grid_type& grid, int first_row, int rows, int blocks, int block_width,
                     std::int32_t* counts, mode_kernel kernel) {
  const int width = blocks * block_width;
  if (width <= 0 || rows <= 0) return;
  prepare_layout(blocks, block_width);
  if (kernel == mode_kernel::avx512) {
    count_block_row_avx512(grid, first_row, rows, width, counts);
    return;
  }
  for (int r = first_row; r < first_row + rows; ++r) {
    if (kernel == mode_kernel::avx2)
      count_row_avx2(&grid[r][1], width, counts);
    else
      count_row_portable(&grid[r][1], width, counts);
  }
}
