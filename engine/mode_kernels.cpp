#include "engine/mode_kernels.h"

#include <immintrin.h>

#include <algorithm>

#include "engine/step_kernels.h"

// A row is turned into keys (first counter of the cell's block + state), the
// positions where the key changes are listed, and each run then adds its
// length to its key's counter.

namespace {

constexpr int row_slack = 64;  // room for whole vectors past the last cell

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

void count_row_portable(const std::int32_t* cells, int width, const std::uint16_t* first_counter,
                        std::int32_t* counts) {
  std::uint16_t* keys = key_buffer.data() + 1;
  for (int c = 0; c < width; ++c) keys[c] = key_of(cells[c], first_counter[c]);
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
                                                           const std::uint16_t* first_counter,
                                                           std::int32_t* counts) {
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

}  // namespace

void count_row_states(const std::int32_t* cells, int width, const std::uint16_t* first_counter,
                      std::int32_t* counts) {
  if (width <= 0) return;
  if (active_kernel_set() == kernel_set::avx2)
    count_row_avx2(cells, width, first_counter, counts);
  else
    count_row_portable(cells, width, first_counter, counts);
}
