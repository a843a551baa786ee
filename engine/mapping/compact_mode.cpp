// The mode reduction of a byte grid: the same states as md_freq(), counted
// by runs, by cells or by groups of states, whichever suits the rows.
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/avx2.h"
#include "engine/automaton/compact_grid.h"
#include "engine/mapping/compact_reduce.h"
#include "engine/automaton/kernel_threads.h"

namespace {

constexpr int max_side_blocks = 10;
constexpr int counter_stride = 128;
constexpr int mask_words = compact_stride / 64;

// Where each column's block counters start, and the columns that start a
// block (a run never crosses one); rebuilt when the blocks change.
struct run_layout {
  int blocks = 0;
  int width = 0;
  std::array<std::uint16_t, compact_stride> first_counter{};
  std::array<std::uint64_t, mask_words> block_starts{};
};

void prepare_layout(run_layout& layout, int blocks, int width) {
  if (layout.blocks == blocks && layout.width == width) return;
  layout = run_layout{};
  layout.blocks = blocks;
  layout.width = width;
  for (int c = 0; c < blocks * width; ++c) {
    layout.first_counter[c] = static_cast<std::uint16_t>(c / width * counter_stride);
    if (c % width == 0) layout.block_starts[c / 64] |= std::uint64_t{1} << (c % 64);
  }
}

// What a run starts pass learns of a row besides the bits.
struct row_survey {
  int starts = 0;   // cells that start a run (the last word's rest included)
  int largest = 0;  // the largest of the `count` cells
};

// Bit c of the words: cell c differs from cell c - 1 (cells[-1] is the
// border column, always readable).
row_survey run_starts_portable(const std::uint8_t* cells, int count, std::uint64_t* words) {
  row_survey survey;
  for (int w = 0; w * 64 < count; ++w) {
    std::uint64_t bits = 0;
    for (int b = 0; b < 64; ++b)
      bits |= static_cast<std::uint64_t>(cells[w * 64 + b] != cells[w * 64 + b - 1]) << b;
    words[w] = bits;
    survey.starts += std::popcount(bits);
  }
  survey.largest = *std::max_element(cells, cells + count);
  return survey;
}

// The largest of a vector's 32 cells.
ZELMORA_AVX2 int largest_lane(__m256i lanes) {
  __m128i fold = _mm_max_epu8(_mm256_castsi256_si128(lanes), _mm256_extracti128_si256(lanes, 1));
  fold = _mm_max_epu8(fold, _mm_srli_si128(fold, 8));
  fold = _mm_max_epu8(fold, _mm_srli_si128(fold, 4));
  fold = _mm_max_epu8(fold, _mm_srli_si128(fold, 2));
  fold = _mm_max_epu8(fold, _mm_srli_si128(fold, 1));
  return _mm_cvtsi128_si32(fold) & 255;
}

// The largest of `count` cells.
ZELMORA_AVX2 int largest_avx2(const std::uint8_t* cells, int count) {
  if (count < 32) return *std::max_element(cells, cells + count);
  // The last vector ends at the last cell, overlapping the one before.
  __m256i largest = load32(cells + count - 32);
  for (int c = 0; c + 32 < count; c += 32) largest = _mm256_max_epu8(largest, load32(cells + c));
  return largest_lane(largest);
}

ZELMORA_AVX2 row_survey run_starts_avx2(const std::uint8_t* cells, int count, std::uint64_t* words) {
  row_survey survey;
  for (int w = 0; w * 64 < count; ++w) {
    const std::uint8_t* p = cells + w * 64;
    const auto same_low = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(load32(p), load32(p - 1))));
    const auto same_high = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(load32(p + 32), load32(p + 31))));
    words[w] = ~(static_cast<std::uint64_t>(same_high) << 32 | same_low);
    survey.starts += std::popcount(words[w]);
  }
  survey.largest = largest_avx2(cells, count);
  _mm256_zeroupper();
  return survey;
}

using run_starts_pass = row_survey (*)(const std::uint8_t*, int, std::uint64_t*);

// Adds every run of the row's first `count` cells to its block's counter
// of its state (100 and more count as 99); `starts` from a run_starts pass.
void count_runs(const run_layout& layout, const std::uint8_t* cells, int count,
                const std::uint64_t* starts, std::int32_t* counts) {
  const int words = (count + 63) / 64;
  int start = 0;
  const auto add_run = [&](int end) {
    counts[layout.first_counter[start] + std::min<int>(cells[start], max_states - 1)] += end - start;
    start = end;
  };
  for (int w = 0; w < words; ++w) {
    std::uint64_t bits = starts[w] | layout.block_starts[w];
    if (w == 0) bits &= ~std::uint64_t{1};
    if (w == words - 1 && count % 64 != 0) bits &= (std::uint64_t{1} << (count % 64)) - 1;
    for (; bits != 0; bits &= bits - 1) add_run(w * 64 + __builtin_ctzll(bits));
  }
  add_run(count);
}

// A busy row's cells one by one: adding runs costs by the run, and in a
// turbulent patch runs average one or two cells. Consecutive cells go to
// four histograms in turn, so equal neighbours add to different counters
// and no addition waits for the last. 16-bit counters, moved into the
// block counters before they can overflow; only bins below `top` are used.
constexpr int histogram_ways = 4;
constexpr int bins = 256;
// Rows with fewer cells than this per run are counted cell by cell.
constexpr int busy_row_cells_per_run = 3;

struct cell_histograms {
  std::array<std::array<std::array<std::uint16_t, bins>, max_side_blocks>, histogram_ways> ways{};
  int rows = 0;  // counted since the last move
  int top = 0;   // above the largest cell counted since then

  void add_cells(const std::uint8_t* cells, int count, int block) {
    std::uint16_t* w0 = ways[0][block].data();
    std::uint16_t* w1 = ways[1][block].data();
    std::uint16_t* w2 = ways[2][block].data();
    std::uint16_t* w3 = ways[3][block].data();
    int c = 0;
    for (; c + 8 <= count; c += 8) {
      std::uint64_t eight;
      std::memcpy(&eight, cells + c, sizeof eight);
      ++w0[eight & 255];
      ++w1[(eight >> 8) & 255];
      ++w2[(eight >> 16) & 255];
      ++w3[(eight >> 24) & 255];
      ++w0[(eight >> 32) & 255];
      ++w1[(eight >> 40) & 255];
      ++w2[(eight >> 48) & 255];
      ++w3[eight >> 56];
    }
    for (; c < count; ++c) ++ways[c % histogram_ways][block][cells[c]];
  }

  void add_row(const std::uint8_t* cells, int blocks, int width, int largest) {
    for (int bj = 0; bj < blocks; ++bj) add_cells(cells + bj * width, width, bj);
    top = std::max(top, largest + 1);
    ++rows;
  }

  // Into the block counters (states of 100 and more as 99), leaving zeros.
  void move_to(std::int32_t* counts, int blocks) {
    for (auto& way : ways)
      for (int b = 0; b < blocks; ++b) {
        std::int32_t* block_counts = counts + b * counter_stride;
        for (int v = 0; v < top; ++v) block_counts[std::min(v, max_states - 1)] += way[b][v];
        std::fill_n(way[b].begin(), top, 0);
      }
    rows = 0;
    top = 0;
  }
};

struct part_counters {
  std::array<std::int32_t, max_side_blocks * counter_stride> counts;
  cell_histograms histograms;
};

// One row of a block row into the part's counters, by runs or by cells.
void count_row(const run_layout& layout, const std::uint8_t* cells, int blocks, int width,
               run_starts_pass find_starts, part_counters& part) {
  const int count = blocks * width;
  std::array<std::uint64_t, mask_words> starts;
  const row_survey survey = find_starts(cells, count, starts.data());
  if (survey.starts * busy_row_cells_per_run < count) {
    count_runs(layout, cells, count, starts.data(), part.counts.data());
    return;
  }
  cell_histograms& h = part.histograms;
  h.add_row(cells, blocks, width, survey.largest);
  // A row gives each 16-bit counter at most a quarter of a block's width.
  if (h.rows >= 65535 / ((width + histogram_ways - 1) / histogram_ways))
    h.move_to(part.counts.data(), blocks);
}

// A block of states below 128, counted eight states at a time: each cell
// becomes one bit of a byte (its state's bit, or none), and these bytes are
// summed bit by bit with carry-save adders, sixteen vectors into one vector
// of sixteens. About one vector operation per state and 32 cells, where a
// compare and a subtract per state take two; turbulent or calm, the cost is
// the same. Sixteen passes at most still beat adding runs in turbulence.
constexpr int grouped_states_limit = counter_stride;
constexpr int group_states = 8;
constexpr int vectors_per_sum = 16;

constexpr std::array<std::uint8_t, 32> zero_cells{};

// A block's cells as whole vectors: each row's whole vectors where they
// lie, then the rows' remaining cells packed one after another, then
// zeros up to a multiple of vectors_per_sum.
struct block_vectors {
  std::vector<const std::uint8_t*> at;
  std::vector<std::uint8_t> packed;
  int count = 0;
  int zeros = 0;  // cells added, to be taken from state 0's count
};

// Rows first_row.. of the block at columns start..start+width-1.
ZELMORA_AVX2 void gather_block(const compact_grid& grid, int first_row, int rows, int start,
                               int width, block_vectors& v) {
  const int whole = width / 32;
  const int rest = width % 32;
  const int packed_vectors = (rows * rest + 31) / 32;
  const int count = rows * whole + packed_vectors;
  v.count = (count + vectors_per_sum - 1) / vectors_per_sum * vectors_per_sum;
  v.zeros = v.count * 32 - rows * width;
  if (static_cast<int>(v.at.size()) < v.count) v.at.resize(v.count);
  if (static_cast<int>(v.packed.size()) < rows * rest + 64) v.packed.resize(rows * rest + 64);
  int n = 0;
  for (int r = 0; r < rows; ++r) {
    const std::uint8_t* cells = &grid.rows[first_row + r][1 + start];
    for (int w = 0; w < whole; ++w) v.at[n++] = cells + 32 * w;
    // Each store's cells past `rest` are overwritten by the next row's.
    if (rest > 0) store32(v.packed.data() + r * rest, load32(cells + 32 * whole));
  }
  store32(v.packed.data() + rows * rest, _mm256_setzero_si256());
  for (int p = 0; p < packed_vectors; ++p) v.at[n++] = v.packed.data() + 32 * p;
  while (n < v.count) v.at[n++] = zero_cells.data();
}

// Reads a pass's cells; the first pass over a block also finds the largest.
template <bool find_largest>
struct cell_reader {
  __m256i largest;
  ZELMORA_AVX2 __m256i operator()(const std::uint8_t* p) {
    const __m256i cells = load32(p);
    if constexpr (find_largest) largest = _mm256_max_epu8(largest, cells);
    return cells;
  }
};

// Bit (state - first) of a lane whose cell holds a state first..first+7.
ZELMORA_AVX2 inline __m256i group_bits(__m256i cells, __m256i first) {
  const __m256i bit_of = _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0,
                                          1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0);
  // Cells below `first` wrap to large offsets; every other state is 8 or more.
  const __m256i offset = _mm256_min_epu8(_mm256_sub_epi8(cells, first), _mm256_set1_epi8(8));
  return _mm256_shuffle_epi8(bit_of, offset);
}

// sum + a + b, bit by bit: the low bits stay in `sum`, the carries return.
ZELMORA_AVX2 inline __m256i add_carry_save(__m256i& sum, __m256i a, __m256i b) {
  const __m256i u = _mm256_xor_si256(sum, a);
  const __m256i carries = _mm256_or_si256(_mm256_and_si256(sum, a), _mm256_and_si256(u, b));
  sum = _mm256_xor_si256(u, b);
  return carries;
}

// The running sum below sixteen: bit planes of weight 1, 2, 4 and 8.
struct bit_planes {
  __m256i ones, twos, fours, eights;
};

// Adds four vectors' bits; returns the carries of weight 4.
template <typename Reader>
ZELMORA_AVX2 inline __m256i add_four(bit_planes& p, const std::uint8_t* const* at, __m256i first,
                                     Reader& read) {
  const __m256i twos_a =
      add_carry_save(p.ones, group_bits(read(at[0]), first), group_bits(read(at[1]), first));
  const __m256i twos_b =
      add_carry_save(p.ones, group_bits(read(at[2]), first), group_bits(read(at[3]), first));
  return add_carry_save(p.twos, twos_a, twos_b);
}

template <typename Reader>
ZELMORA_AVX2 inline __m256i add_sixteen(bit_planes& p, const std::uint8_t* const* at, __m256i first,
                                        Reader& read) {
  const __m256i fours_a = add_four(p, at, first, read);
  const __m256i fours_b = add_four(p, at + 4, first, read);
  const __m256i eights_a = add_carry_save(p.fours, fours_a, fours_b);
  const __m256i fours_c = add_four(p, at + 8, first, read);
  const __m256i fours_d = add_four(p, at + 12, first, read);
  const __m256i eights_b = add_carry_save(p.fours, fours_c, fours_d);
  return add_carry_save(p.eights, eights_a, eights_b);
}

// counts[b] += weight x the lanes with bit b set.
ZELMORA_AVX2 inline void add_plane(__m256i plane, int weight, std::int32_t* counts) {
#pragma GCC unroll 8
  for (int b = 0; b < group_states; ++b) {
    // movemask reads bit 7 of each byte.
    const __m256i bit_b_on_top = _mm256_slli_epi16(plane, 7 - b);
    counts[b] += weight * std::popcount(static_cast<std::uint32_t>(_mm256_movemask_epi8(bit_b_on_top)));
  }
}

// States first..first+7 of the block's vectors into counts + first.
template <typename Reader>
ZELMORA_AVX2 void count_group(const block_vectors& v, int first, Reader& read, std::int32_t* counts) {
  const __m256i first_state = _mm256_set1_epi8(static_cast<char>(first));
  bit_planes p{_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
               _mm256_setzero_si256()};
  for (int i = 0; i < v.count; i += vectors_per_sum)
    add_plane(add_sixteen(p, v.at.data() + i, first_state, read), 16, counts + first);
  add_plane(p.ones, 1, counts + first);
  add_plane(p.twos, 2, counts + first);
  add_plane(p.fours, 4, counts + first);
  add_plane(p.eights, 8, counts + first);
}

// A block's states into its counters (rows first_row.., columns
// start..start+width-1); false, with the counters unusable, when a cell is
// grouped_states_limit or more.
ZELMORA_AVX2 bool count_states_avx2(const compact_grid& grid, int first_row, int rows, int start,
                                    int width, block_vectors& vectors, std::int32_t* counts) {
  gather_block(grid, first_row, rows, start, width, vectors);
  cell_reader<true> first_pass{_mm256_setzero_si256()};
  count_group(vectors, 0, first_pass, counts);
  counts[0] -= vectors.zeros;
  const int largest = largest_lane(first_pass.largest);
  if (largest < grouped_states_limit) {
    cell_reader<false> read{};
    for (int first = group_states; first <= largest; first += group_states)
      count_group(vectors, first, read, counts);
    for (int s = max_states; s <= largest; ++s) {  // states of 100 and more count as 99
      counts[max_states - 1] += counts[s];
      counts[s] = 0;
    }
  }
  _mm256_zeroupper();
  return largest < grouped_states_limit;
}

}  // namespace

// The run layout of the blocks counted last, and each thread's counters.
struct mode_workspace::parts {
  run_layout layout;
  std::array<part_counters, max_kernel_threads> counters;
  std::array<block_vectors, max_kernel_threads> vectors;
};

mode_workspace::mode_workspace(row_pool& rows)
    : rows_(rows), parts_(std::make_unique<parts>()) {}
mode_workspace::~mode_workspace() = default;

void compact_md_freq(const compact_grid& grid, frequency_array& freq,
                     const std::array<float, max_states>& frequency, int noinstrm,
                     mode_workspace& work) {
  const block_layout b = layout_for(noinstrm, grid.x, grid.y);
  if (b.n <= 0) return;
  const int count = b.n * b.by;
  mode_workspace::parts& space = work.scratch();
  prepare_layout(space.layout, b.n, b.by);
  const bool avx2 = active_kernel_set() == kernel_set::avx2;
  const run_starts_pass find_starts = avx2 ? run_starts_avx2 : run_starts_portable;
  // Blocks narrower than a vector would leave most of its lanes idle.
  const bool by_states = avx2 && b.by >= 32;
  work.rows().run_rows(b.n, worth_splitting(grid.x, grid.y), [&](int part, int first, int last) {
    part_counters& counters = space.counters[part];
    std::int32_t* counts = counters.counts.data();
    for (int bi = first; bi < last; ++bi) {
      std::fill_n(counts, b.n * counter_stride, 0);
      const int first_row = bi * b.bx + 1;
      bool counted = by_states;
      for (int bj = 0; counted && bj < b.n; ++bj)
        counted = count_states_avx2(grid, first_row, b.bx, bj * b.by, b.by, space.vectors[part],
                                    counts + bj * counter_stride);
      if (!counted && count > 0) {
        std::fill_n(counts, b.n * counter_stride, 0);  // some blocks may be counted already
        for (int r = first_row; r < first_row + b.bx; ++r)
          count_row(space.layout, &grid.rows[r][1], b.n, b.by, find_starts, counters);
        if (counters.histograms.rows > 0) counters.histograms.move_to(counts, b.n);
      }
      for (int bj = 0; bj < b.n; ++bj)
        freq[bi * b.n + bj] = frequency[mode_of(counts + bj * counter_stride)];
    }
  });
}
