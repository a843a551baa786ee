#include "engine/compact_grid.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "engine/kernel_threads.h"
#include "engine/rand_stream.h"

namespace {

// Past this many cells a kernel shares its rows with the second thread.
constexpr long long split_from_cells = 1 << 16;

bool worth_splitting(int x, int y) { return static_cast<long long>(x) * y >= split_from_cells; }

void wrap_columns(std::uint8_t* row, int y) {
  row[0] = row[y];
  row[y + 1] = row[1];
}

// Whole rows after the columns, so each corner gets the opposite corner.
void wrap_rows(compact_grid& grid) {
  std::memcpy(grid.rows[0].data(), grid.rows[grid.x].data(), grid.y + 2);
  std::memcpy(grid.rows[grid.x + 1].data(), grid.rows[1].data(), grid.y + 2);
}

}  // namespace

bool compact_from_ints(const grid_type& from, compact_grid& to, int x, int y) {
  to.x = x;
  to.y = y;
  to.big = 0;
  bool have_big = false;
  for (int r = 0; r <= x + 1; ++r) {
    for (int c = 0; c <= y + 1; ++c) {
      const std::int32_t v = from[r][c];
      if (v < 0) return false;
      if (v >= big_cell) {
        if (have_big && v != to.big) return false;
        have_big = true;
        to.big = v;
        to.rows[r][c] = big_cell;
      } else {
        to.rows[r][c] = static_cast<std::uint8_t>(v);
      }
    }
  }
  return true;
}

void compact_to_ints(const compact_grid& from, grid_type& to) {
  for (int r = 0; r <= from.x + 1; ++r) {
    const std::uint8_t* cells = from.rows[r].data();
    std::int32_t* out = to[r].data();
    for (int c = 0; c <= from.y + 1; ++c) out[c] = cells[c];
    if (from.big != big_cell)
      for (int c = 0; c <= from.y + 1; ++c)
        if (cells[c] == big_cell) out[c] = from.big;
  }
}

void compact_seed(compact_grid& grid, int modulus, int x, int y) {
  grid.x = x;
  grid.y = y;
  grid.big = big_cell;
  if (x <= 0 || y <= 0) return;
  {
    rand_stream draws;
    for (int r = 1; r <= x; ++r) draws.draw(modulus, &grid.rows[r][1], y);
  }
  for (int r = 1; r <= x; ++r) wrap_columns(grid.rows[r].data(), y);
  wrap_rows(grid);
}

bool make_compact_rule(const rule_table& table, compact_rule& rule) {
  constexpr int lonely_slot = 127;
  constexpr int healthy_slot = 128;
  const int ill_from = table.ill_from;
  if (ill_from < 0 || ill_from >= max_states) return false;
  rule.ill_from = static_cast<std::uint8_t>(ill_from);
  for (int n = 0; n <= 8; ++n) {
    rule.by_infected[n] = static_cast<std::uint8_t>(table.next[healthy_slot + n]);
    rule.by_ill[n] = static_cast<std::uint8_t>(table.next[healthy_slot + 16 * n]);
  }
  for (int ill = 0; ill <= 8; ++ill)
    for (int infected = 0; infected <= 8; ++infected)
      if (table.next[healthy_slot + 16 * ill + infected] !=
          std::min(rule.by_infected[infected] + rule.by_ill[ill], ill_from))
        return false;
  // trunc(mean + k) is mean + trunc(k) unless rounding crosses a whole
  // number; the tables say which.
  rule.raise = table.next[0] < ill_from ? static_cast<std::uint8_t>(table.next[0]) : 255;
  for (int mean = 0; mean < max_states; ++mean)
    if (table.next[mean] != std::min(std::min(mean + rule.raise, 255), ill_from)) return false;
  rule.lonely_state = table.next[lonely_slot];
  if (rule.lonely_state < 0) return false;
  rule.lonely = static_cast<std::uint8_t>(std::min<std::int32_t>(rule.lonely_state, big_cell));
  return true;
}

namespace {

// ceil(2^15 / d) for d = 1..8, d = 8 at index 0: (2 * sum * r) >> 16 is
// sum / d for every infected sum (at most 8 * 98).
constexpr std::array<std::uint16_t, 8> reciprocal15 = {4096, 32768, 16384, 10923,
                                                       8192, 6554,  5462,  4682};

constexpr bool reciprocals_divide_exactly() {
  for (std::uint32_t d = 1; d <= 8; ++d)
    for (std::uint32_t sum = 0; sum <= 8 * (max_states - 2); ++sum)
      if (((2 * sum * reciprocal15[d % 8]) >> 16) != sum / d) return false;
  return true;
}
static_assert(reciprocals_divide_exactly());

// What each cell is to its neighbours: flags (1 infected, 16 ill, so nine
// of them add up in a byte's two halves) and its state when infected.
struct classified_row {
  alignas(32) std::array<std::uint8_t, compact_stride> flags;
  alignas(32) std::array<std::uint8_t, compact_stride> infected;
};

// A part's rows: the three classified rows around the one being stepped
// and their vertical sums.
struct step_scratch {
  std::array<classified_row, 3> around;
  alignas(32) std::array<std::uint8_t, compact_stride> flag_sums;
  alignas(32) std::array<std::uint16_t, compact_stride> state_sums;
};

std::array<step_scratch, max_kernel_threads> scratch;

// Columns 0..y+1 at least, in whole vectors.
int vector_columns(int y) { return (y + 2 + 31) / 32 * 32; }

// Portable -------------------------------------------------------------------

// Plain loops over restrict pointers: the compiler vectorizes them with
// what the baseline instruction set has.
void classify_portable(const std::uint8_t* cells, classified_row& out, int width,
                       std::uint8_t ill_from) {
  std::uint8_t* __restrict flags = out.flags.data();
  std::uint8_t* __restrict infected = out.infected.data();
  for (int c = 0; c < width; ++c) {
    const std::uint8_t v = cells[c];
    const bool ill = v >= ill_from;
    const bool is_infected = !ill && v != 0;
    flags[c] = static_cast<std::uint8_t>(ill ? 16 : (is_infected ? 1 : 0));
    infected[c] = is_infected ? v : 0;
  }
}

void sum_rows_portable(const std::array<const classified_row*, 3>& rows, step_scratch& s,
                       int width) {
  const std::uint8_t* __restrict f0 = rows[0]->flags.data();
  const std::uint8_t* __restrict f1 = rows[1]->flags.data();
  const std::uint8_t* __restrict f2 = rows[2]->flags.data();
  const std::uint8_t* __restrict v0 = rows[0]->infected.data();
  const std::uint8_t* __restrict v1 = rows[1]->infected.data();
  const std::uint8_t* __restrict v2 = rows[2]->infected.data();
  std::uint8_t* __restrict flag_sums = s.flag_sums.data();
  std::uint16_t* __restrict state_sums = s.state_sums.data();
  for (int c = 0; c < width; ++c) {
    flag_sums[c] = static_cast<std::uint8_t>(f0[c] + f1[c] + f2[c]);
    state_sums[c] = static_cast<std::uint16_t>(v0[c] + v1[c] + v2[c]);
  }
}

// Every outcome computed and one chosen, as the vector kernel does: no
// branch on the cells, which mostly differ from their neighbours.
void decode_portable(const std::uint8_t* self, const classified_row& here, const step_scratch& s,
                     std::uint8_t* out, int y, const compact_rule& rule) {
  const int last = rule.ill_from;
  for (int j = 1; j <= y; ++j) {
    const int flags = s.flag_sums[j - 1] + s.flag_sums[j] + s.flag_sums[j + 1] - here.flags[j];
    const int infected = flags & 15;
    const int sum = s.state_sums[j - 1] + s.state_sums[j] + s.state_sums[j + 1] - here.infected[j];
    const int mean = (2 * sum * reciprocal15[infected & 7]) >> 16;
    const int healthy_next = std::min(rule.by_infected[infected] + rule.by_ill[flags >> 4], last);
    const int infected_next =
        infected == 0 ? rule.lonely : std::min(std::min(mean + rule.raise, 255), last);
    const int v = self[j];
    out[j] = static_cast<std::uint8_t>(v == 0 ? healthy_next : (v >= last ? 0 : infected_next));
  }
}

// AVX2 -----------------------------------------------------------------------

#define ZELMORA_AVX2 __attribute__((target("avx2")))

ZELMORA_AVX2 inline __m256i load32(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
ZELMORA_AVX2 inline void store32(void* p, __m256i v) {
  _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}
ZELMORA_AVX2 inline __m256i widen(const std::uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

ZELMORA_AVX2 void classify_avx2(const std::uint8_t* cells, classified_row& out, int width,
                                std::uint8_t ill_from) {
  const __m256i last = _mm256_set1_epi8(static_cast<char>(ill_from));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi8(1);
  const __m256i sixteen = _mm256_set1_epi8(16);
  for (int c = 0; c < width; c += 32) {
    const __m256i v = load32(cells + c);
    const __m256i ill = _mm256_cmpeq_epi8(_mm256_max_epu8(v, last), v);
    const __m256i healthy = _mm256_cmpeq_epi8(v, zero);
    store32(out.flags.data() + c, _mm256_blendv_epi8(_mm256_andnot_si256(healthy, one), sixteen, ill));
    store32(out.infected.data() + c, _mm256_andnot_si256(_mm256_or_si256(ill, healthy), v));
  }
  _mm256_zeroupper();
}

ZELMORA_AVX2 void sum_rows_avx2(const std::array<const classified_row*, 3>& rows, step_scratch& s,
                                int width) {
  for (int c = 0; c < width; c += 32) {
    store32(s.flag_sums.data() + c,
            _mm256_add_epi8(_mm256_add_epi8(load32(rows[0]->flags.data() + c),
                                            load32(rows[1]->flags.data() + c)),
                            load32(rows[2]->flags.data() + c)));
    for (int h = 0; h < 32; h += 16)
      store32(s.state_sums.data() + c + h,
              _mm256_add_epi16(_mm256_add_epi16(widen(rows[0]->infected.data() + c + h),
                                                widen(rows[1]->infected.data() + c + h)),
                               widen(rows[2]->infected.data() + c + h)));
  }
  _mm256_zeroupper();
}

// 16 cells' sums of their infected neighbours' states (16-bit lanes).
ZELMORA_AVX2 inline __m256i infected_sums(const step_scratch& s, const classified_row& here, int j) {
  const std::uint16_t* v = s.state_sums.data();
  return _mm256_sub_epi16(
      _mm256_add_epi16(_mm256_add_epi16(load32(v + j - 1), load32(v + j)), load32(v + j + 1)),
      widen(here.infected.data() + j));
}

// The reciprocals' low and high bytes by infected count (0..8).
template <int shift>
constexpr std::array<std::uint8_t, 16> reciprocal_bytes() {
  std::array<std::uint8_t, 16> bytes{};
  for (int count = 0; count <= 8; ++count)
    bytes[count] = static_cast<std::uint8_t>(reciprocal15[count % 8] >> shift);
  return bytes;
}
alignas(16) constexpr std::array<std::uint8_t, 16> reciprocal_low = reciprocal_bytes<0>();
alignas(16) constexpr std::array<std::uint8_t, 16> reciprocal_high = reciprocal_bytes<8>();

ZELMORA_AVX2 inline __m256i broadcast16(const std::array<std::uint8_t, 16>& bytes) {
  return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes.data())));
}

ZELMORA_AVX2 void decode_avx2(const std::uint8_t* self, const classified_row& here,
                              const step_scratch& s, std::uint8_t* out, int y,
                              const compact_rule& rule) {
  const __m256i last = _mm256_set1_epi8(static_cast<char>(rule.ill_from));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low_half = _mm256_set1_epi8(15);
  const __m256i by_infected = _mm256_broadcastsi128_si256(
      _mm_load_si128(reinterpret_cast<const __m128i*>(rule.by_infected.data())));
  const __m256i by_ill = _mm256_broadcastsi128_si256(
      _mm_load_si128(reinterpret_cast<const __m128i*>(rule.by_ill.data())));
  const __m256i low_bytes = broadcast16(reciprocal_low);
  const __m256i high_bytes = broadcast16(reciprocal_high);
  const __m256i raise = _mm256_set1_epi8(static_cast<char>(rule.raise));
  const __m256i lonely = _mm256_set1_epi8(static_cast<char>(rule.lonely));
  const std::uint8_t* f = s.flag_sums.data();
  for (int j = 1; j <= y; j += 32) {
    const __m256i flags = _mm256_sub_epi8(
        _mm256_add_epi8(_mm256_add_epi8(load32(f + j - 1), load32(f + j)), load32(f + j + 1)),
        load32(here.flags.data() + j));
    const __m256i infected = _mm256_and_si256(flags, low_half);
    const __m256i ill = _mm256_and_si256(_mm256_srli_epi16(flags, 4), low_half);
    const __m256i healthy_next = _mm256_min_epu8(
        _mm256_adds_epu8(_mm256_shuffle_epi8(by_infected, infected), _mm256_shuffle_epi8(by_ill, ill)),
        last);
    // Each cell's reciprocal as two byte lookups; with the quarters
    // reordered first, interleaving the bytes lines the 16-bit values up
    // with cells 0..15 and 16..31.
    const __m256i counts = _mm256_permute4x64_epi64(infected, 0xD8);
    const __m256i low_of = _mm256_shuffle_epi8(low_bytes, counts);
    const __m256i high_of = _mm256_shuffle_epi8(high_bytes, counts);
    const __m256i low = _mm256_mulhi_epu16(_mm256_slli_epi16(infected_sums(s, here, j), 1),
                                           _mm256_unpacklo_epi8(low_of, high_of));
    const __m256i high = _mm256_mulhi_epu16(_mm256_slli_epi16(infected_sums(s, here, j + 16), 1),
                                            _mm256_unpackhi_epi8(low_of, high_of));
    const __m256i means = _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
    const __m256i infected_next = _mm256_blendv_epi8(
        _mm256_min_epu8(_mm256_adds_epu8(means, raise), last), lonely,
        _mm256_cmpeq_epi8(infected, zero));
    const __m256i v = load32(self + j);
    const __m256i ill_self = _mm256_cmpeq_epi8(_mm256_max_epu8(v, last), v);
    store32(out + j, _mm256_blendv_epi8(_mm256_andnot_si256(ill_self, infected_next), healthy_next,
                                        _mm256_cmpeq_epi8(v, zero)));
  }
  _mm256_zeroupper();
}

struct byte_passes {
  void (*classify)(const std::uint8_t*, classified_row&, int, std::uint8_t);
  void (*sum_rows)(const std::array<const classified_row*, 3>&, step_scratch&, int);
  void (*decode)(const std::uint8_t*, const classified_row&, const step_scratch&, std::uint8_t*,
                 int, const compact_rule&);
};

constexpr byte_passes portable_byte_passes{classify_portable, sum_rows_portable, decode_portable};
constexpr byte_passes avx2_byte_passes{classify_avx2, sum_rows_avx2, decode_avx2};

// Rows first..last-1 (1-based interior rows), each with its wrapped columns.
void step_rows(const byte_passes& passes, const compact_grid& from, compact_grid& to,
               const compact_rule& rule, step_scratch& s, int first, int last) {
  const int width = vector_columns(from.y) + 32;  // the sums read one column past
  std::array<classified_row*, 3> ring{&s.around[0], &s.around[1], &s.around[2]};
  passes.classify(from.rows[first - 1].data(), *ring[0], width, rule.ill_from);
  passes.classify(from.rows[first].data(), *ring[1], width, rule.ill_from);
  for (int i = first; i < last; ++i) {
    passes.classify(from.rows[i + 1].data(), *ring[2], width, rule.ill_from);
    passes.sum_rows({ring[0], ring[1], ring[2]}, s, width);
    passes.decode(from.rows[i].data(), *ring[1], s, to.rows[i].data(), from.y, rule);
    wrap_columns(to.rows[i].data(), from.y);
    std::rotate(ring.begin(), ring.begin() + 1, ring.end());
  }
}

}  // namespace

void compact_step(const compact_grid& from, compact_grid& to, const compact_rule& rule) {
  to.x = from.x;
  to.y = from.y;
  to.big = rule.lonely_state;
  if (from.x <= 0 || from.y <= 0) return;
  const byte_passes& passes =
      active_kernel_set() == kernel_set::avx2 ? avx2_byte_passes : portable_byte_passes;
  parallel_rows(from.x, worth_splitting(from.x, from.y), [&](int part, int first, int last) {
    step_rows(passes, from, to, rule, scratch[part], first + 1, last + 1);
  });
  wrap_rows(to);
}

// Reductions -----------------------------------------------------------------

namespace {

struct block_shape {
  int n = 0;   // blocks per side
  int bx = 0;  // rows per block
  int by = 0;  // columns per block
};

block_shape shape_of(const compact_grid& grid, int noinstrm) {
  block_shape b;
  b.n = blocks_per_side(std::min(noinstrm, max_instruments));
  if (b.n > 0) {
    b.bx = grid.x / b.n;
    b.by = grid.y / b.n;
  }
  return b;
}

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

run_layout layout;

void prepare_layout(int blocks, int width) {
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
void count_runs(const std::uint8_t* cells, int count, const std::uint64_t* starts,
                std::int32_t* counts) {
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

std::array<part_counters, max_kernel_threads> part_counts;

// One row of a block row into the part's counters, by runs or by cells.
void count_row(const std::uint8_t* cells, int blocks, int width, run_starts_pass find_starts,
               part_counters& part) {
  const int count = blocks * width;
  std::array<std::uint64_t, mask_words> starts;
  const row_survey survey = find_starts(cells, count, starts.data());
  if (survey.starts * busy_row_cells_per_run < count) {
    count_runs(cells, count, starts.data(), part.counts.data());
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

std::array<block_vectors, max_kernel_threads> part_vectors;

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

void compact_av_freq(const compact_grid& grid, frequency_array& freq,
                     const std::array<float, max_states>& frequency, int noinstrm) {
  const block_shape b = shape_of(grid, noinstrm);
  std::array<float, 256> by_cell;
  for (int v = 0; v < 256; ++v) by_cell[v] = frequency[std::min(v, max_states - 1)];
  const double cells = static_cast<double>(b.bx) * b.by;
  parallel_rows(b.n, worth_splitting(grid.x, grid.y), [&](int, int first, int last) {
    for (int bi = first; bi < last; ++bi) {
      std::array<float, max_side_blocks> sums{};
      for (int r = bi * b.bx + 1; r <= bi * b.bx + b.bx; ++r)
        add_row_to_blocks(&grid.rows[r][1], b.n, b.by, by_cell.data(), sums.data());
      for (int bj = 0; bj < b.n; ++bj)
        freq[bi * b.n + bj] = cells > 0 ? static_cast<float>(sums[bj] / cells) : 0.0f;
    }
  });
}

void compact_md_freq(const compact_grid& grid, frequency_array& freq,
                     const std::array<float, max_states>& frequency, int noinstrm) {
  const block_shape b = shape_of(grid, noinstrm);
  if (b.n <= 0) return;
  const int count = b.n * b.by;
  prepare_layout(b.n, b.by);
  const bool avx2 = active_kernel_set() == kernel_set::avx2;
  const run_starts_pass find_starts = avx2 ? run_starts_avx2 : run_starts_portable;
  // Blocks narrower than a vector would leave most of its lanes idle.
  const bool by_states = avx2 && b.by >= 32;
  parallel_rows(b.n, worth_splitting(grid.x, grid.y), [&](int part, int first, int last) {
    part_counters& counters = part_counts[part];
    std::int32_t* counts = counters.counts.data();
    for (int bi = first; bi < last; ++bi) {
      std::fill_n(counts, b.n * counter_stride, 0);
      const int first_row = bi * b.bx + 1;
      bool counted = by_states;
      for (int bj = 0; counted && bj < b.n; ++bj)
        counted = count_states_avx2(grid, first_row, b.bx, bj * b.by, b.by, part_vectors[part],
                                    counts + bj * counter_stride);
      if (!counted && count > 0) {
        std::fill_n(counts, b.n * counter_stride, 0);  // some blocks may be counted already
        for (int r = first_row; r < first_row + b.bx; ++r)
          count_row(&grid.rows[r][1], b.n, b.by, find_starts, counters);
        if (counters.histograms.rows > 0) counters.histograms.move_to(counts, b.n);
      }
      for (int bj = 0; bj < b.n; ++bj)
        freq[bi * b.n + bj] = frequency[mode_of(counts + bj * counter_stride)];
    }
  });
}
