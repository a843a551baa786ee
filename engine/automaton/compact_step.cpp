#include "engine/automaton/compact_step.h"

#include <algorithm>

#include "platform/avx2.h"
#include "engine/numeric.h"

namespace {

constexpr int lonely_slot = 127;
constexpr int healthy_slot = 128;

// Next state by slot, exactly as update() computes each case: 0..126 an
// infected cell by the mean state of its infected neighbours, 127 one
// without infected neighbours, 128 + ill * 16 + infected a healthy cell.
struct rule_table {
  std::array<std::int32_t, 512> next{};
  std::int32_t ill_from = 0;  // Ns - 1: a state at or above it is ill
};

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

}  // namespace

bool make_compact_rule(double r1, double r2, double k, int Ns, compact_rule& rule) {
  // Ns 1..100, r1 and r2 above 0, k at least 0 (no NaN): what the tables
  // and the byte counts can reproduce.
  if (!(Ns >= 1 && Ns <= max_states && r1 > 0.0 && r2 > 0.0 && k >= 0.0)) return false;
  const rule_table table = make_rule_table(r1, r2, k, Ns);
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

}  // namespace

// A thread's rows: the three classified rows around the one being stepped
// and their vertical sums.
struct step_workspace::part {
  std::array<classified_row, 3> around;
  alignas(32) std::array<std::uint8_t, compact_stride> flag_sums;
  alignas(32) std::array<std::uint16_t, compact_stride> state_sums;
};

step_workspace::step_workspace(row_pool& rows)
    : rows_(rows), parts_(std::make_unique<std::array<part, max_kernel_threads>>()) {}
step_workspace::~step_workspace() = default;
step_workspace::part& step_workspace::scratch(int thread) { return (*parts_)[thread]; }

namespace {

using step_scratch = step_workspace::part;

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

void compact_step(const compact_grid& from, compact_grid& to, const compact_rule& rule,
                  step_workspace& work) {
  to.x = from.x;
  to.y = from.y;
  to.big = rule.lonely_state;
  if (from.x <= 0 || from.y <= 0) return;
  const byte_passes& passes =
      active_kernel_set() == kernel_set::avx2 ? avx2_byte_passes : portable_byte_passes;
  work.rows().run_rows(from.x, worth_splitting(from.x, from.y), [&](int part, int first, int last) {
    step_rows(passes, from, to, rule, work.scratch(part), first + 1, last + 1);
  });
  wrap_rows(to);
}
