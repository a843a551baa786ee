#include "engine/step_kernels.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdlib>

#include "engine/numeric.h"

// A cell is first packed into one word that says what it is to its
// neighbours: ill -> ill_unit, healthy -> 0, infected with state v ->
// infected_unit + v. Summing the packed words of the eight neighbours gives
// the ill count, the infected count and the infected sum in separate bit
// fields at once (at most 8 * 98 = 784 < 1024 for the sum, 8 < 16 for the
// counts), so a row is counted with plain additions: a vertical sum of three
// packed rows, then three neighbouring columns of it, less the cell itself.

namespace {

constexpr int sum_bits = 10;
constexpr std::uint32_t infected_unit = 1u << sum_bits;
constexpr std::uint32_t ill_unit = 1u << (sum_bits + 4);
constexpr std::uint32_t sum_mask = infected_unit - 1;
constexpr std::uint32_t count_mask = 15;

constexpr int lonely_slot = 127;
constexpr int healthy_slot = 128;

// ceil(2^16 / d): (sum * reciprocal[d]) >> 16 is sum / d for every sum the
// packed counts can hold, without a division. Entry 0 stands in for 8 where
// the index wraps at 8 lanes; an empty count has a sum of 0 anyway.
constexpr std::array<std::uint32_t, 9> reciprocal = {8192,  65536, 32768, 21846, 16384,
                                                     13108, 10923, 9363,  8192};

constexpr bool reciprocals_divide_exactly() {
  for (std::uint32_t d = 1; d <= 8; ++d)
    for (std::uint32_t sum = 0; sum <= 8 * (max_states - 2); ++sum)
      if (((sum * reciprocal[d]) >> 16) != sum / d) return false;
  return true;
}
static_assert(reciprocals_divide_exactly());

// Packed rows of the current generation (above, at and below the row being
// stepped) and their vertical sums; fixed, so a step allocates nothing.
constexpr int row_words = grid_side + 16;  // and a whole vector past the last column
alignas(32) std::array<std::array<std::uint32_t, row_words>, 3> packed_rows;
alignas(32) std::array<std::uint32_t, row_words> column_sums;

std::uint32_t packed(std::int32_t v, std::int32_t ill_from) {
  if (v >= ill_from) return ill_unit;
  return v == 0 ? 0u : infected_unit + static_cast<std::uint32_t>(v);
}

std::int32_t next_state(std::int32_t self, std::uint32_t counts, const rule_table& rule) {
  const std::uint32_t high = counts >> sum_bits;  // ill * 16 + infected
  const std::uint32_t infected = high & count_mask;
  const std::uint32_t mean = ((counts & sum_mask) * reciprocal[infected]) >> 16;
  const std::uint32_t infected_slot = infected == 0 ? lonely_slot : mean;
  const std::uint32_t slot = self <= 0 ? healthy_slot + high : infected_slot;
  const std::int32_t next = rule.next[slot];
  return self > 0 && self >= rule.ill_from ? 0 : next;
}

// The row passes. pack returns false when it meets a negative state.
bool pack_row_portable(const std::int32_t* cells, std::uint32_t* out, int count,
                       std::int32_t ill_from) {
  std::int32_t lowest = 0;
  for (int c = 0; c < count; ++c) {
    out[c] = packed(cells[c], ill_from);
    lowest = std::min(lowest, cells[c]);
  }
  return lowest >= 0;
}

void add_rows_portable(const std::uint32_t* a, const std::uint32_t* b, const std::uint32_t* c,
                       std::uint32_t* out, int count) {
  for (int i = 0; i < count; ++i) out[i] = a[i] + b[i] + c[i];
}

// Cells 1..y of one row.
void decode_row_portable(const std::int32_t* self, const std::uint32_t* sums,
                         const std::uint32_t* here, std::int32_t* out, int y,
                         const rule_table& rule) {
  for (int j = 1; j <= y; ++j)
    out[j] = next_state(self[j], sums[j - 1] + sums[j] + sums[j + 1] - here[j], rule);
}

// Each AVX2 pass clears the upper register halves before it returns: left
// dirty, they slow every SSE instruction after it (libm's exp in particular)
// many times over.
__attribute__((target("avx2"))) __m256i load(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

// Lanes 0..n-1 set: the last, partial vector of a row is loaded and stored
// through this mask, so no cell beyond the row is touched and no scalar tail
// is needed (on small grids the tails cost as much as the vectors).
__attribute__((target("avx2"))) __m256i lanes_below(int n) {
  return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

__attribute__((target("avx2"))) __m256i load_cells(const std::int32_t* cells, int left) {
  return left >= 8 ? load(cells) : _mm256_maskload_epi32(cells, lanes_below(left));
}

// The packed words go to a buffer with room for the whole last vector.
__attribute__((target("avx2"))) bool pack_row_avx2(const std::int32_t* cells, std::uint32_t* out,
                                                   int count, std::int32_t ill_from) {
  const __m256i last_infected = _mm256_set1_epi32(ill_from - 1);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i infected = _mm256_set1_epi32(infected_unit);
  const __m256i ill = _mm256_set1_epi32(ill_unit);
  __m256i signs = zero;
  for (int c = 0; c < count; c += 8) {
    const __m256i v = load_cells(cells + c, count - c);
    const __m256i is_ill = _mm256_cmpgt_epi32(v, last_infected);
    const __m256i is_zero = _mm256_cmpeq_epi32(v, zero);
    const __m256i word = _mm256_andnot_si256(is_zero, _mm256_add_epi32(v, infected));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), _mm256_blendv_epi8(word, ill, is_ill));
    signs = _mm256_or_si256(signs, v);
  }
  const bool none_negative = _mm256_movemask_ps(_mm256_castsi256_ps(signs)) == 0;
  _mm256_zeroupper();
  return none_negative;
}

__attribute__((target("avx2"))) void add_rows_avx2(const std::uint32_t* a, const std::uint32_t* b,
                                                   const std::uint32_t* c, std::uint32_t* out,
                                                   int count) {
  for (int i = 0; i < count; i += 8) {
    const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(load(a + i), load(b + i)), load(c + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), sum);
  }
  _mm256_zeroupper();
}

// Lanes past the row's end read stale buffer words; their slot is kept
// inside the table by a mask and their result is never stored.
__attribute__((target("avx2"))) void decode_row_avx2(const std::int32_t* self,
                                                     const std::uint32_t* sums,
                                                     const std::uint32_t* here, std::int32_t* out,
                                                     int y, const rule_table& rule) {
  const __m256i reciprocals =
      _mm256_setr_epi32(reciprocal[0], reciprocal[1], reciprocal[2], reciprocal[3],
                        reciprocal[4], reciprocal[5], reciprocal[6], reciprocal[7]);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i counts_mask = _mm256_set1_epi32(count_mask);
  const __m256i sums_mask = _mm256_set1_epi32(sum_mask);
  const __m256i slots_mask = _mm256_set1_epi32(rule_slots - 1);
  const __m256i lonely = _mm256_set1_epi32(lonely_slot);
  const __m256i healthy_base = _mm256_set1_epi32(healthy_slot);
  const __m256i last_infected = _mm256_set1_epi32(rule.ill_from - 1);
  for (int j = 1; j <= y; j += 8) {
    const int left = y + 1 - j;
    const __m256i state = load_cells(self + j, left);
    const __m256i counts = _mm256_sub_epi32(
        _mm256_add_epi32(_mm256_add_epi32(load(sums + j - 1), load(sums + j)), load(sums + j + 1)),
        load(here + j));
    const __m256i high = _mm256_srli_epi32(counts, sum_bits);
    const __m256i infected = _mm256_and_si256(high, counts_mask);
    const __m256i mean = _mm256_srli_epi32(
        _mm256_mullo_epi32(_mm256_and_si256(counts, sums_mask),
                           _mm256_permutevar8x32_epi32(reciprocals, infected)),
        16);
    const __m256i infected_slot =
        _mm256_or_si256(mean, _mm256_and_si256(_mm256_cmpeq_epi32(infected, zero), lonely));
    const __m256i healthy = _mm256_cmpgt_epi32(one, state);
    const __m256i slot = _mm256_and_si256(
        _mm256_blendv_epi8(infected_slot, _mm256_add_epi32(high, healthy_base), healthy),
        slots_mask);
    const __m256i next = _mm256_i32gather_epi32(rule.next.data(), slot, 4);
    const __m256i ill = _mm256_andnot_si256(healthy, _mm256_cmpgt_epi32(state, last_infected));
    const __m256i result = _mm256_andnot_si256(ill, next);
    if (left >= 8)
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), result);
    else
      _mm256_maskstore_epi32(out + j, lanes_below(left), result);
  }
  _mm256_zeroupper();
}

struct row_passes {
  bool (*pack)(const std::int32_t*, std::uint32_t*, int, std::int32_t);
  void (*add_rows)(const std::uint32_t*, const std::uint32_t*, const std::uint32_t*,
                   std::uint32_t*, int);
  void (*decode)(const std::int32_t*, const std::uint32_t*, const std::uint32_t*, std::int32_t*,
                 int, const rule_table&);
};

constexpr row_passes portable_passes{pack_row_portable, add_rows_portable, decode_row_portable};
constexpr row_passes avx2_passes{pack_row_avx2, add_rows_avx2, decode_row_avx2};

bool step_with(const row_passes& passes, const grid_type& from, grid_type& to,
               const rule_table& rule, int x, int y) {
  if (x <= 0 || y <= 0) return true;
  const int width = y + 2;  // with the border columns
  std::uint32_t* above = packed_rows[0].data();
  std::uint32_t* here = packed_rows[1].data();
  std::uint32_t* below = packed_rows[2].data();
  if (!passes.pack(from[0].data(), above, width, rule.ill_from)) return false;
  if (!passes.pack(from[1].data(), here, width, rule.ill_from)) return false;
  for (int i = 1; i <= x; ++i) {
    if (!passes.pack(from[i + 1].data(), below, width, rule.ill_from)) return false;
    passes.add_rows(above, here, below, column_sums.data(), width);
    passes.decode(from[i].data(), column_sums.data(), here, to[i].data(), y, rule);
    std::uint32_t* done = above;
    above = here;
    here = below;
    below = done;
  }
  return true;
}

bool forced_portable = false;

bool processor_runs_avx2() {
  __builtin_cpu_init();
  const char* portable = std::getenv("ZELMORA_PORTABLE");
  return __builtin_cpu_supports("avx2") && (portable == nullptr || *portable == '\0');
}

}  // namespace

kernel_set active_kernel_set() {
  static const bool avx2 = processor_runs_avx2();
  return avx2 && !forced_portable ? kernel_set::avx2 : kernel_set::portable;
}

void force_portable_kernels(bool portable) { forced_portable = portable; }

bool fast_rule_applies(double r1, double r2, double k, int Ns) {
  return Ns >= 1 && Ns <= max_states && r1 > 0.0 && r2 > 0.0 && k >= 0.0;
}

rule_table make_rule_table(double r1, double r2, double k, int Ns) {
  rule_table rule;
  rule.ill_from = Ns - 1;
  const auto capped = [Ns](long long next) {
    return static_cast<std::int32_t>(next >= Ns ? Ns - 1 : next);
  };
  for (int mean = 0; mean < lonely_slot; ++mean) rule.next[mean] = capped(trunc_to_int(mean + k));
  rule.next[lonely_slot] = trunc_to_int(k);  // uncapped, as the rule has it
  for (int ill = 0; ill <= 8; ++ill)
    for (int infected = 0; infected <= 8; ++infected)
      rule.next[healthy_slot + ill * 16 + infected] =
          capped(static_cast<long long>(trunc_to_int(infected / r1)) + trunc_to_int(ill / r2));
  return rule;
}

bool step_interior(const grid_type& from, grid_type& to, const rule_table& rule, int x, int y) {
  const row_passes& passes =
      active_kernel_set() == kernel_set::avx2 ? avx2_passes : portable_passes;
  return step_with(passes, from, to, rule, x, y);
}
